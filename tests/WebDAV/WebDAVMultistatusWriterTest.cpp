#include "WebDAVTestCase.h"

#include "Kit/FileManagerExtendedAttributes.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLockManager.h"
#include "WebDAV/WebDAVMultistatusWriter.h"
#include "WebDAV/WebDAVPropFindResponse.h"

#include <filesystem>
#include <unistd.h>

namespace {

using test::WebDAVTestCase;

enum class Kind { All, Names, Named };

class WebDAVMultistatusWriterTest : public WebDAVTestCase {
protected:
    // The members of /d/ and the folder itself, as PROPFIND lists them.
    WebDAVResourceList items()
    {
        auto folder = resource("/d/");
        WebDAVResourceList list { folder };
        for (auto& member : folder->subresourcesToDepth("1").value_or(WebDAVResourceList {}))
            list.push_back(member);
        return list;
    }

    std::optional<std::string> written(const WebDAVResourceList& list, Kind kind, const WebDAVPropertyNameList& names = {})
    {
        WebDAVMultistatusWriter writer;
        for (const auto& item : list) {
            writer.beginResponse(*item);
            if (kind == Kind::All)
                writer.addPropstatForProperties(item->properties(), DAVStatusLine(200, "OK"));
            else if (kind == Kind::Names)
                writer.addPropstatForPropertyNames(item->propertyNames(), DAVStatusLine(200, "OK"));
            else
                writer.addPropstatForResource(*item, names);
            writer.endResponse();
        }
        auto data = writer.XMLData();
        EXPECT_EQ(writer.failed(), !data);
        return data ? std::optional(data->toString()) : std::nullopt;
    }

    std::string built(const WebDAVResourceList& list, Kind kind, const WebDAVPropertyNameList& names = {})
    {
        auto document = createDAVMultistatusDocument();
        for (const auto& item : list) {
            auto response = addDAVResponseElementForResource(*document, *item);
            if (kind == Kind::All)
                addDAVPropstatForProperties(*document, item->properties(), *response, DAVStatusLine(200, "OK"));
            else if (kind == Kind::Names)
                addDAVPropstatForPropertyNames(*document, item->propertyNames(), *response, DAVStatusLine(200, "OK"));
            else
                addDAVPropstatForResource(*document, *item, names, *response);
        }
        return document->XMLData().value_or(core::Data()).toString();
    }

    void setDead(const std::string& path, std::string_view uri, std::string_view local, std::string_view xml)
    {
        ASSERT_TRUE(xattrSetString(std::string(xml), path, WebDAVPropertyName::deadPropertyNameFor(uri, local)));
    }
};

TEST_F(WebDAVMultistatusWriterTest, WritesWhatTheDocumentWrites)
{
    makeFolder("root/d/sub dir");
    makeFile("root/d/a&b<c>.txt", "x");
    makeFile("root/d/\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80.txt");
    makeFile("root/d/tab\tcr\rctl\x01\x7F.txt");
    makeFile("root/d/q\"'.html", "<p>");
    ASSERT_EQ(symlink("a&b<c>.txt", local("/d/link").c_str()), 0);
    std::string dead = makeFile("root/d/dead.txt");
    setDead(dead, "urn:z", "x", "<Z:x xmlns:Z=\"urn:z\" a=\"\xC3\xA9 &amp; &quot;\"><Z:y>t &amp; &lt;</Z:y>\r</Z:x>");
    setDead(dead, "urn:y", "plain", "<plain xmlns=\"urn:y\">D &amp; <D:in xmlns:D=\"DAV:\"/></plain>");
    setDead(dead, "urn:w", "broken", "not <xml");
    ASSERT_TRUE(WebDAVLockManager::sharedManager()->acquireWriteLockForURI(URLWithPath("/d/dead.txt"), dead, "exclusive",
        "me & <you>", "0", "Infinite"));

    WebDAVResource::Snapshot snapshot;
    auto list = items();
    ASSERT_EQ(list.size(), 8u);
    for (Kind kind : { Kind::All, Kind::Names }) {
        auto text = written(list, kind);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, built(list, kind));
    }
    EXPECT_NE(written(list, Kind::All)->find("<D:owner>me &amp; &lt;you&gt;</D:owner>"), std::string::npos);
    EXPECT_NE(written(list, Kind::All)->find("Error retrieving named properties"), std::string::npos);

    // Live, dead, foreign and unknown names: the 200, 500 and 404 groups, and
    // prefixes declared on the root in the order they are met.
    WebDAVPropertyNameList names;
    for (const char* name : { "getcontentlength", "resourcetype", "lockdiscovery", "nothing" })
        names.push_back(WebDAVPropertyName::propertyNameWithName(name));
    for (auto [uri, local] : { std::pair { "urn:y", "plain" }, { "urn:w", "broken" }, { "urn:v", "absent" }, { "", "bare" } })
        names.push_back(WebDAVPropertyName::propertyNameWithName(WebDAVPropertyName::deadPropertyNameFor(uri, local)));
    auto text = written(list, Kind::Named, names);
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, built(list, Kind::Named, names));
    EXPECT_NE(text->find("xmlns:A=\"urn:y\" xmlns:B=\"urn:w\" xmlns:C=\"urn:v\">"), std::string::npos) << *text;

    // No members, no properties: empty elements close themselves.
    EXPECT_EQ(written({}, Kind::All), built({}, Kind::All));
    auto file = resource("/d/a&b<c>.txt");
    WebDAVMultistatusWriter writer;
    writer.beginResponse(*file);
    writer.addPropstatForPropertyNames({}, DAVStatusLine(404, "Not Found"), "why & how");
    writer.endResponse();
    auto document = createDAVMultistatusDocument();
    addDAVPropstatForPropertyNames(*document, {}, *addDAVResponseElementForResource(*document, *file),
        DAVStatusLine(404, "Not Found"), "why & how");
    EXPECT_EQ(writer.XMLData()->toString(), document->XMLData()->toString());
}

TEST_F(WebDAVMultistatusWriterTest, LeavesUnusualTextToTheDocument)
{
    // Bytes that are not UTF-8, a non-character and a NUL: the document
    // re-encodes or cuts them in ways of its own.
    std::string path = makeFile("root/d/f");
    auto file = resource("/d/f");
    for (std::string owner : { std::string("bad\xFF"), std::string("non\xEF\xBF\xBE"), std::string("nul\0x", 5) }) {
        auto manager = WebDAVLockManager::sharedManager();
        auto lock = manager->acquireWriteLockForURI(URLWithPath("/d/f"), path, "exclusive", owner, "0", "Infinite");
        ASSERT_TRUE(lock);
        EXPECT_FALSE(written({ file }, Kind::All));
        // PROPFIND then answers with the document.
        test::FakeResponseDelegate delegate(root);
        auto response = WebDAVPropFindResponse::create(test::makeRequest("PROPFIND", "/d/f", "Depth: 0\r\n"), &delegate);
        response->start();
        EXPECT_EQ(response->statusCode(), 207);
        EXPECT_EQ(std::string(response->body().view()), built({ file }, Kind::All));
        manager->removeWriteLockForURI(URLWithPath("/d/f"), lock->lockToken());
    }
    // A namespace with a quotation mark, and a local name with colons.
    for (auto [uri, local] : { std::pair { "urn:\"q\"", "x" }, { "urn:q", "a:b" } }) {
        WebDAVPropertyNameList names { WebDAVPropertyName::propertyNameWithName(WebDAVPropertyName::deadPropertyNameFor(uri, local)) };
        EXPECT_FALSE(written({ file }, Kind::Named, names)) << uri << local;
    }
}

TEST_F(WebDAVMultistatusWriterTest, SnapshotReadsEachItemOnce)
{
    std::string path = makeFile("root/f.txt", "one");
    {
        WebDAVResource::Snapshot snapshot;
        auto file = resource("/f.txt");
        makeFile("root/f.txt", "longer text");
        EXPECT_EQ(file->fileSize(), 3u);
        int calls = 0;
        VKQuotaManager::setFreeSpaceFunctionForTesting([&calls](const std::string&) {
            ++calls;
            return std::optional<uint64_t>(1 << 20);
        });
        file->properties();
        file->properties();
        EXPECT_EQ(calls, 1);
    }
    // Outside one, every question looks again.
    auto file = resource("/f.txt");
    makeFile("root/f.txt", "one");
    EXPECT_EQ(file->fileSize(), 3u);
}

} // namespace
