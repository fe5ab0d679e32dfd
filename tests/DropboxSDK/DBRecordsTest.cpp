#include "DropboxSDK/DBAccountInfo.h"
#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/DBQuota.h"
#include "DropboxSDK/StringDropboxAdditions.h"
#include "Kit/JSON/JSONAdditions.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/PropertyList.h"

#include "Support/TestCase.h"

#include <thread>

namespace {

core::Value json(std::string_view text)
{
    auto value = JSONValue(text);
    EXPECT_TRUE(value) << text;
    return value ? *value : core::Value();
}

// Through a binary property list and back.
core::Value::Dictionary roundTrip(const core::Value::Dictionary& archive)
{
    auto bytes = core::PropertyList::write(core::Value(archive), core::PropertyList::Format::Binary);
    EXPECT_TRUE(bytes);
    core::Value back = core::PropertyList::read(*bytes);
    EXPECT_TRUE(back.isDictionary());
    return back.isDictionary() ? back.dictionary() : core::Value::Dictionary();
}

const char* folderJSON = R"({"hash":"abc","thumb_exists":false,"bytes":0,"path":"/Photos","is_dir":true,
    "size":"0 bytes","root":"dropbox","icon":"folder","revision":3,
    "contents":[
      {"bytes":5000000000,"modified":"Sat, 21 Aug 2010 22:31:20 +0000","path":"/Photos/big.mov","is_dir":false,
       "size":"4.7 GB","root":"dropbox","icon":"page_white_film","revision":17,"thumb_exists":true},
      {"bytes":3,"modified":"2010-08-21T22:31:20Z","path":"/Photos/a.txt","is_deleted":true,"revision":18},
      7,
      {"path":"/Photos/Sub","is_dir":true,"contents":[]}
    ]})";

class DBRecordsTest : public test::TestCase { };

TEST_F(DBRecordsTest, MetadataReadsTheServicesFields)
{
    auto folder = DBMetadata::initWithDictionary(json(folderJSON));
    EXPECT_EQ(folder->path(), "/Photos");
    EXPECT_TRUE(folder->isDirectory());
    EXPECT_EQ(folder->folderHash(), "abc");
    EXPECT_EQ(folder->revision(), 3);
    EXPECT_FALSE(folder->lastModifiedDate());
    // The element that is no object is skipped; the others keep their order.
    ASSERT_TRUE(folder->contents());
    ASSERT_EQ(folder->contents()->size(), 3u);

    const auto& big = (*folder->contents())[0];
    EXPECT_EQ(big->totalBytes(), 5000000000);
    EXPECT_TRUE(big->thumbnailExists());
    EXPECT_EQ(big->humanReadableSize(), "4.7 GB");
    EXPECT_EQ(big->icon(), "page_white_film");
    EXPECT_EQ(big->root(), "dropbox");
    ASSERT_TRUE(big->lastModifiedDate());
    EXPECT_EQ(big->lastModifiedDate()->timeIntervalSince1970(), 1282429880);
    // A file answer has no contents at all, which differs from an empty folder.
    EXPECT_FALSE(big->contents());
    const auto& sub = (*folder->contents())[2];
    ASSERT_TRUE(sub->contents());
    EXPECT_TRUE(sub->contents()->empty());

    // Another date format, and wrong kinds, read as none, 0 or false.
    const auto& deleted = (*folder->contents())[1];
    EXPECT_FALSE(deleted->lastModifiedDate());
    EXPECT_TRUE(deleted->isDeleted());
    auto wrong = DBMetadata::initWithDictionary(json(R"({"path":7,"bytes":"many","is_dir":[1],"modified":12,"contents":{"a":1},"revision":null})"));
    EXPECT_FALSE(wrong->path());
    EXPECT_EQ(wrong->totalBytes(), 0);
    EXPECT_FALSE(wrong->isDirectory());
    EXPECT_FALSE(wrong->lastModifiedDate());
    EXPECT_EQ(wrong->revision(), 0);
    ASSERT_TRUE(wrong->contents());
    EXPECT_TRUE(wrong->contents()->empty());
    auto nothing = DBMetadata::initWithDictionary(core::Value());
    EXPECT_FALSE(nothing->path() || nothing->contents() || nothing->folderHash());

    // The description lists every field in its fixed order.
    std::string text = big->description();
    EXPECT_TRUE(text.starts_with("<DBMetadata: 0x")) << text;
    EXPECT_EQ(text.substr(text.find('>')), ">, thumbnailExists:1, totalBytes:5000000000, "
        "lastModifiedDate:2010-08-21 22:31:20 +0000, path:/Photos/big.mov, isDirectory:0, contents:(null), "
        "hash:(null), humanReadableSize:4.7 GB, root:dropbox, icon:page_white_film, revision:17, isDeleted:0, ");
}

TEST_F(DBRecordsTest, AListingReadEntryByEntryEqualsOneReadWhole)
{
    auto archived = [](const std::shared_ptr<const DBMetadata>& metadata) {
        core::Value::Dictionary archive;
        metadata->encodeWithCoder(archive);
        return core::Value(std::move(archive));
    };
    const std::vector<std::string> answers { folderJSON, R"({"path":"/f.txt","bytes":3})",
        R"( {"contents":[{"path":"/a","contents":[{"path":"/a/b"}]}, "x", [1]]} )",
        R"({"contents":[],"contents":[{"path":"/later"}]})", R"({"contents":[{"path":"/first"}],"contents":7})",
        R"({"contents":[{"path":"/escaped"}]})" };
    for (const auto& answer : answers) {
        auto pieces = DBMetadata::initWithJSONString(answer);
        ASSERT_TRUE(pieces) << answer;
        EXPECT_EQ(archived(pieces), archived(DBMetadata::initWithDictionary(json(answer)))) << answer;
    }
    EXPECT_EQ((*DBMetadata::initWithJSONString(answers[3])->contents())[0]->path(), "/later");
    EXPECT_TRUE(DBMetadata::initWithJSONString(answers[4])->contents()->empty());
    for (const char* bad : { "", "[]", R"({"contents":[{"a":1},]})", R"({"contents":[{"a":tru}]})",
             "{\"contents\":[{\"a\":\"\xff\"}]}", R"({"contents":[{"a":1}]} x)", R"({"contents":[{"a":1}})" })
        EXPECT_FALSE(DBMetadata::initWithJSONString(bad)) << bad;
}

TEST_F(DBRecordsTest, ContentsNestAtMostSixtyFourLevels)
{
    std::string deep = R"({"path":"/leaf"})";
    for (int level = 0; level < 70; ++level)
        deep = R"({"is_dir":true,"contents":[)" + deep + "]}";
    auto root = DBMetadata::initWithDictionary(json(deep));
    size_t depth = 0;
    for (auto node = root; node->contents() && !node->contents()->empty(); node = node->contents()->front())
        ++depth;
    EXPECT_EQ(depth, DBMetadata::MaximumDepth - 1);
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_TRUE(logContains("deeper than 64 levels"));
}

TEST_F(DBRecordsTest, QuotaAndAccountInfo)
{
    auto info = DBAccountInfo::initWithDictionary(json(R"({"country":"CH","display_name":"Zoë","uid":12345,
        "referral_link":"https://cloud.test/r/1","quota_info":{"normal":100,"shared":20,"quota":5368709120}})"));
    EXPECT_EQ(info->userId(), "12345");
    EXPECT_EQ(info->country(), "CH");
    EXPECT_EQ(info->displayName(), "Zoë");
    EXPECT_EQ(info->referralLink(), "https://cloud.test/r/1");
    ASSERT_TRUE(info->quota());
    EXPECT_EQ(info->quota()->totalConsumedBytes(), 120);
    EXPECT_EQ(info->quota()->totalBytes(), 5368709120);
    EXPECT_EQ(DBAccountInfo::initWithDictionary(json(R"({"uid":"u-7"})"))->userId(), "u-7");
    auto bare = DBAccountInfo::initWithDictionary(json(R"({"uid":[1]})"));
    EXPECT_FALSE(bare->userId());
    ASSERT_TRUE(bare->quota());
    EXPECT_EQ(bare->quota()->totalBytes(), 0);
    // Hostile sums saturate.
    auto huge = DBQuota::initWithDictionary(json(R"({"normal":9223372036854775807,"shared":5})"));
    EXPECT_EQ(huge->totalConsumedBytes(), INT64_MAX);
}

TEST_F(DBRecordsTest, ArchivesSurviveABinaryPropertyList)
{
    auto folder = DBMetadata::initWithDictionary(json(folderJSON));
    core::Value::Dictionary archive;
    folder->encodeWithCoder(archive);
    EXPECT_EQ(archive["totalBytes"], core::Value(0));
    EXPECT_TRUE(archive["isDirectory"].isBool());
    auto back = DBMetadata::initWithCoder(roundTrip(archive));
    core::Value::Dictionary again;
    back->encodeWithCoder(again);
    EXPECT_EQ(core::Value(again), core::Value(archive));
    ASSERT_TRUE(back->contents());
    ASSERT_EQ(back->contents()->size(), 3u);
    EXPECT_EQ((*back->contents())[0]->totalBytes(), 5000000000);
    EXPECT_EQ((*back->contents())[0]->lastModifiedDate(), (*folder->contents())[0]->lastModifiedDate());
    EXPECT_FALSE((*back->contents())[0]->contents());
    EXPECT_EQ((*back->contents())[1]->description().substr((*back->contents())[1]->description().find(',')),
        (*folder->contents())[1]->description().substr((*folder->contents())[1]->description().find(',')));

    auto info = DBAccountInfo::initWithDictionary(json(R"({"country":"CH","uid":12345,"quota_info":{"normal":100,"shared":20,"quota":300}})"));
    core::Value::Dictionary infoArchive;
    info->encodeWithCoder(infoArchive);
    auto infoBack = DBAccountInfo::initWithCoder(roundTrip(infoArchive));
    EXPECT_EQ(infoBack->userId(), "12345");
    EXPECT_EQ(infoBack->country(), "CH");
    EXPECT_FALSE(infoBack->displayName());
    EXPECT_EQ(infoBack->quota()->normalConsumedBytes(), 100);
    EXPECT_EQ(infoBack->quota()->sharedConsumedBytes(), 20);
    EXPECT_EQ(infoBack->quota()->totalBytes(), 300);
}

TEST_F(DBRecordsTest, DatesParseAlikeOnManyThreadsAtOnce)
{
    const char* entry = R"({"modified":"Sat, 21 Aug 2010 22:31:20 +0000","contents":[{"modified":"Mon, 03 Jan 2011 08:00:00 +0100"}]})";
    core::Value value = json(entry);
    std::vector<std::thread> threads;
    std::vector<std::vector<double>> seen(8);
    for (size_t t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                auto record = DBMetadata::initWithDictionary(value);
                seen[t].push_back(record->lastModifiedDate().value_or(core::Date()).timeIntervalSince1970());
                seen[t].push_back((*record->contents())[0]->lastModifiedDate().value_or(core::Date()).timeIntervalSince1970());
            }
            // Each thread has a formatter of its own.
            EXPECT_EQ(DBMetadata::dateFormatter().pattern(), "EEE, dd MMM yyyy HH:mm:ss Z");
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (const auto& dates : seen) {
        ASSERT_EQ(dates.size(), 400u);
        for (size_t i = 0; i < dates.size(); i += 2) {
            EXPECT_EQ(dates[i], 1282429880);
            EXPECT_EQ(dates[i + 1], 1294038000);
        }
    }
    EXPECT_EQ(&DBMetadata::dateFormatter(), &DBMetadata::dateFormatter());
}

TEST_F(DBRecordsTest, PathsCompareIgnoringCaseAndComposition)
{
    EXPECT_EQ(normalizedDropboxPath("/"), "");
    EXPECT_EQ(normalizedDropboxPath("/Photos/E\xCC\x81t\xC3\xA9"), "/photos/\xC3\xA9t\xC3\xA9");
    EXPECT_TRUE(isEqualToDropboxPath("/Photos/E\xCC\x81T\xC3\x89", "/photos/\xC3\xA9t\xC3\xA9"));
    EXPECT_FALSE(isEqualToDropboxPath("/Photos/ete", "/photos/\xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(isEqualToDropboxPath("/", ""));
}

} // namespace
