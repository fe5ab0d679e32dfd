// The word index and the page index store on real database files, read back
// through the library's own command-line tool.

#include "PDF/VKContentIndexStore.h"
#include "PDF/VKPageIndexStore.h"

#include "Platform/Core/UTF8.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class VKContentIndexStoreTest : public test::TestCase {
protected:
    std::string indexPath(const std::string& name = "index")
    {
        return makeFolder("Library/Metadata/ContentIndexCache") + "/" + name;
    }

    // Every record as "key-hex\tvalue-hex", in key order. The store must be
    // closed (the tool takes the file's lock).
    static std::vector<std::string> dump(const std::string& path)
    {
        auto result = test::runCommand({ "tcbmgr", "list", "-pv", "-px", path });
        EXPECT_EQ(result.status, 0);
        std::vector<std::string> lines;
        std::istringstream stream(result.output);
        for (std::string line; std::getline(stream, line);)
            lines.push_back(line);
        return lines;
    }

    static void putRaw(const std::string& path, const std::string& keyHex, const std::string& valueHex = "")
    {
        EXPECT_EQ(test::runCommand({ "tcbmgr", "put", "-sx", path, keyHex, valueHex }).status, 0);
    }

    static std::set<uint64_t> set(std::initializer_list<uint64_t> values) { return values; }
};

TEST_F(VKContentIndexStoreTest, WritesByteExactWordAndInverseKeysWithEmptyValues)
{
    std::string path = indexPath();
    {
        auto store = VKContentIndexStore::storeForPath(path);
        ASSERT_TRUE(store);
        auto tokens = VKContentIndexStore::tokensForText("Hello, HELLO world!");
        EXPECT_EQ(tokens, (std::set<std::string> { "hello ", "world " }));
        EXPECT_TRUE(store->addTokens({ "hello " }, 12, true));
        // The same again leaves one key and still succeeds.
        EXPECT_TRUE(store->addTokens({ "hello " }, 12, true));
        EXPECT_TRUE(store->addTokens({ "hello " }, 0x100000002ull, false));
    }
    EXPECT_EQ(dump(path), (std::vector<std::string> {
                              "00 00 00 00 00 00 00 00 0C 68 65 6C 6C 6F 20\t",
                              "68 65 6C 6C 6F 20 00 00 00 00 00 00 00 00 0C\t",
                              "68 65 6C 6C 6F 20 00 00 00 00 01 00 00 00 02\t",
                          }));
    auto store = VKContentIndexStore::storeForPath(path);
    EXPECT_EQ(store->identifiersForToken("hello "), set({ 12, 0x100000002ull }));
}

TEST_F(VKContentIndexStoreTest, LooksUpWordsPrefixesAndSearchStrings)
{
    auto store = VKContentIndexStore::storeForPath(indexPath());
    ASSERT_TRUE(store->addTokens(VKContentIndexStore::tokensForText("ab abc Abd x1 a1"), 1, true));
    ASSERT_TRUE(store->addTokens(VKContentIndexStore::tokensForText("AB cat"), 2, true));
    ASSERT_TRUE(store->addTokens(VKContentIndexStore::tokensForText("abacus cat dog"), 3, true));
    // Named entries and inverse keys begin with 0x00 and are never found.
    store->setText("ab", "ab");

    EXPECT_EQ(store->identifiersForToken("ab"), set({ 1, 2, 3 }));
    EXPECT_EQ(store->identifiersForToken("ab "), set({ 1, 2 }));
    EXPECT_EQ(store->identifiersForToken("zzz"), set({}));
    EXPECT_EQ(store->identifiersForToken(std::string(1, '\0')), set({}));

    using C = VKContentIndexStore::Combination;
    EXPECT_EQ(store->identifiersForSearchString("AB", C::Intersect), set({ 1, 2, 3 }));
    EXPECT_EQ(store->identifiersForSearchString("aB ", C::Intersect), set({ 1, 2 }));
    EXPECT_EQ(store->identifiersForSearchString("ab ca", C::Intersect), set({ 2 }));
    EXPECT_EQ(store->identifiersForSearchString("ab dog", C::Union), set({ 1, 2, 3 }));
    EXPECT_EQ(store->identifiersForSearchString("abc dog", C::Intersect), set({}));
    EXPECT_EQ(store->identifiersForSearchString("A1", C::Intersect), set({ 1 }));
    // No word: nothing at all, not an empty set.
    EXPECT_FALSE(store->identifiersForSearchString("  ,.; 123 4.5 ", C::Intersect).has_value());
    EXPECT_FALSE(store->identifiersForSearchString("", C::Union).has_value());
}

TEST_F(VKContentIndexStoreTest, WordsAndSearchStringsAreComposedAlike)
{
    auto store = VKContentIndexStore::storeForPath(indexPath());
    // A page text decomposed (or with a capital that lower-cases into two
    // marks' worth) gives the composed words a user types.
    EXPECT_EQ(VKContentIndexStore::tokensForText(u"Cafe\u0301 MU\u0308LLER \u212Bngstr\u00F6m"),
        (std::set<std::string> { "caf\u00E9 ", "m\u00FCller ", "\u00E5ngstr\u00F6m " }));
    ASSERT_TRUE(store->addTokens(VKContentIndexStore::tokensForText(u"Cafe\u0301 M\u00FCller"), 1, false));
    using C = VKContentIndexStore::Combination;
    for (const char* typed : { "café müller", "CAFE\xCC\x81 MU\xCC\x88LLER", "Caf\xC3\xA9 M\xC3\x9C" })
        EXPECT_EQ(store->identifiersForSearchString(typed, C::Intersect), set({ 1 })) << typed;
}

TEST_F(VKContentIndexStoreTest, ABatchIsOneTransactionKeptWholeOrNotAtAll)
{
    std::string path = indexPath();
    {
        auto store = VKContentIndexStore::storeForPath(path);
        ASSERT_TRUE(store->beginBatch());
        EXPECT_FALSE(store->beginBatch());
        EXPECT_TRUE(store->addTokens({ "kept " }, 1, true));
        EXPECT_TRUE(store->addTokens({ "gone " }, 2, true));
        EXPECT_TRUE(store->removeTokensForIdentifier(2));
        // Read back before the commit, as a search on another thread would.
        EXPECT_EQ(store->identifiersForToken("kept "), set({ 1 }));
        EXPECT_TRUE(store->commitBatch());
        EXPECT_FALSE(store->commitBatch());
        EXPECT_FALSE(store->isInBatch());
    }
    EXPECT_EQ(dump(path), (std::vector<std::string> { "00 00 00 00 00 00 00 00 01 6B 65 70 74 20\t",
                              "6B 65 70 74 20 00 00 00 00 00 00 00 00 01\t" }));

    // A process that ends inside a batch leaves none of it.
    pid_t child = fork();
    if (child == 0) {
        auto store = VKContentIndexStore::storeForPath(path);
        bool began = store && store->beginBatch();
        if (began)
            store->addTokens({ "lost " }, 3, false);
        store->setText("half", "done");
        _exit(began ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto store = VKContentIndexStore::storeForPath(path);
    EXPECT_EQ(store->identifiersForToken("lost "), set({}));
    EXPECT_FALSE(store->textForKey("done"));
    EXPECT_EQ(store->identifiersForToken("kept "), set({ 1 }));
}

TEST_F(VKContentIndexStoreTest, RemovesOnlyTheIdentifiersOwnKeys)
{
    std::string path = indexPath();
    {
        auto store = VKContentIndexStore::storeForPath(path);
        ASSERT_TRUE(store->addTokens({ "one ", "two " }, 1, true));
        ASSERT_TRUE(store->addTokens({ "two ", "three " }, 2, true));
        ASSERT_TRUE(store->addTokens({ "four " }, 3, false));
        EXPECT_TRUE(store->removeTokensForIdentifier(1));
        EXPECT_EQ(store->identifiersForToken("two "), set({ 2 }));
        EXPECT_EQ(store->identifiersForToken("one "), set({}));
        // Without inverses there is nothing to remove.
        EXPECT_TRUE(store->removeTokensForIdentifier(3));
        EXPECT_TRUE(store->removeTokensForIdentifier(99));
        EXPECT_EQ(store->identifiersForToken("four "), set({ 3 }));
    }
    auto lines = dump(path);
    EXPECT_EQ(lines.size(), 5u); // 2's two words and inverses, 3's word
}

TEST_F(VKContentIndexStoreTest, HostileWordsAndDamagedKeys)
{
    std::string path = indexPath();
    {
        auto store = VKContentIndexStore::storeForPath(path);
        // A megabyte "word" is built on the heap.
        std::string huge(1 << 20, 'q');
        ASSERT_TRUE(store->addTokens({ huge + ' ' }, 7, true));
        EXPECT_EQ(store->identifiersForToken(huge), set({ 7 }));
        ASSERT_TRUE(store->addTokens({ "good " }, 5, false));
    }
    putRaw(path, "676f6f64"); // "good" without 0x00
    putRaw(path, "676f6f642000010203"); // a short identifier
    putRaw(path, "676f6f642000000000000000000102030405"); // a long one
    auto store = VKContentIndexStore::storeForPath(path);
    EXPECT_EQ(store->identifiersForToken("goo"), set({ 5 }));
    size_t invalid = 0;
    for (const auto& line : logLines())
        invalid += line.find("-[VKContentIndexStore identifiersForToken:] Invalid key when searching for token goo") != std::string::npos;
    EXPECT_EQ(invalid, 3u);

    // A long pasted search string is bounded work.
    std::string pasted;
    while (pasted.size() < 100 * 1024)
        pasted += "good goo nothing ";
    EXPECT_EQ(store->identifiersForSearchString(pasted, VKContentIndexStore::Combination::Intersect), set({}));
}

TEST_F(VKContentIndexStoreTest, DamagedOrUnwritableFiles)
{
    // A file the database cannot read is a damaged cache: made anew.
    std::string damaged = makeFile("Library/Metadata/ContentIndexCache/damaged", std::string(4096, 'x'));
    {
        auto store = VKPageIndexStore::storeForPath(damaged);
        ASSERT_TRUE(store);
        EXPECT_TRUE(store->addTokens({ "fresh " }, 1));
        EXPECT_EQ(store->identifiersForToken("fresh "), set({ 1 }));
    }
    EXPECT_TRUE(logContains("Warning, removing the damaged search index"));

    // A path under a file can never be opened: every write answers false.
    makeFile("plain");
    auto store = VKPageIndexStore::storeForPath(pathInHome("plain/index"));
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->addTokens({ "word " }, 1));
    EXPECT_FALSE(store->removeTokensForIdentifier(1));
    EXPECT_FALSE(store->setText(u"text", 1));
    EXPECT_FALSE(store->setPagesIndexed(1));
    EXPECT_EQ(store->pagesIndexed(), 0u);
    EXPECT_TRUE(store->identifiersForToken("word").empty());
}

TEST_F(VKContentIndexStoreTest, BrokenRecordsAreNoticedAndEmptyingMendsThem)
{
    std::string path = indexPath();
    {
        auto store = VKPageIndexStore::storeForPath(path);
        store->clearIfOutdated();
        ASSERT_TRUE(store->setText(u"before", 1) && store->setPagesIndexed(1));
    }
    // The file's first record loses its mark: the database opens it but
    // fails every read and write that reaches that record.
    std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 0x48u);
    uint64_t big = 0, little = 0;
    for (size_t i = 0; i < 8; ++i) {
        big = (big << 8) | static_cast<unsigned char>(bytes[0x40 + i]);
        little |= uint64_t(static_cast<unsigned char>(bytes[0x40 + i])) << (8 * i);
    }
    const uint64_t first = big < bytes.size() && static_cast<unsigned char>(bytes[big]) == 0xC8 ? big : little;
    ASSERT_LT(first, bytes.size());
    ASSERT_EQ(static_cast<unsigned char>(bytes[first]), 0xC8);
    bytes[first] = 0;
    makeFile("Library/Metadata/ContentIndexCache/index", bytes);

    auto store = VKPageIndexStore::storeForPath(path);
    EXPECT_FALSE(store->textForPageNumber(1));
    EXPECT_TRUE(store->isDamaged());
    EXPECT_FALSE(store->setText(u"lost", 2));
    // A search controller's start empties it; then it takes pages again.
    store->clearIfOutdated();
    EXPECT_FALSE(store->isDamaged());
    EXPECT_EQ(store->indexVersion(), VKPageIndexStore::kIndexVersion);
    EXPECT_EQ(store->pagesIndexed(), 0u);
    EXPECT_TRUE(store->setText(u"after", 1));
    EXPECT_EQ(store->textForPageNumber(1), u"after");
}

TEST_F(VKContentIndexStoreTest, HeadersAskingForHugePagesAreDamage)
{
    // Pages of a hundred million records would be sized from the header
    // before anything is read.
    std::string path = indexPath();
    ASSERT_EQ(test::runCommand({ "tcbmgr", "create", path, "100000000", "256" }).status, 0);
    {
        auto store = VKPageIndexStore::storeForPath(path);
        EXPECT_TRUE(logContains("Cannot open database " + path + " (page sizes 100000000 and 256)"));
        EXPECT_TRUE(logContains("Warning, removing the damaged search index"));
        EXPECT_TRUE(store->setText(u"page", 1));
        EXPECT_EQ(store->textForPageNumber(1), u"page");
    }
    EXPECT_NE(test::runCommand({ "tcbmgr", "inform", path }).output.find("max leaf member: 128"), std::string::npos);
}

float rectValue(const core::Data& rects, size_t index)
{
    float value;
    std::memcpy(&value, rects.bytes() + index * 4, 4);
    return value;
}

TEST_F(VKContentIndexStoreTest, PageStoreEntriesAndHalfFloatRectangles)
{
    std::string path = indexPath();
    {
        auto store = VKPageIndexStore::storeForPath(path);
        EXPECT_EQ(VKPageIndexStore::keyForPrefix("t", 12), "t12");
        EXPECT_EQ(store->pagesIndexed(), 0u);
        EXPECT_FALSE(store->textForPageNumber(12));
        EXPECT_EQ(store->glyphRectsForPageNumber(12).size(), 0u);

        EXPECT_TRUE(store->setText(u"Hé", 12));
        float values[] = { 1000.3f, 70000.0f, std::nanf(""), -0.0f, 1.5f, -2.25f, 0.0f, 65504.0f };
        std::string bytes(reinterpret_cast<const char*>(values), sizeof values);
        bytes += "partial"; // under 16 bytes: dropped
        EXPECT_TRUE(store->setGlyphRects(core::Data(bytes), 12));
        EXPECT_TRUE(store->setText(u"", 13));
        EXPECT_TRUE(store->setPagesIndexed(258));
    }
    EXPECT_EQ(test::runCommand({ "tcbmgr", "get", "-sx", "-px", path, "00743132" }).output, "48 C3 A9\n");
    EXPECT_EQ(test::runCommand({ "tcbmgr", "get", "-sx", "-px", path, "006931" }).status, 1);
    EXPECT_EQ(test::runCommand({ "tcbmgr", "get", "-sx", "-px", path, "0069" }).output, "02 01 00 00 00 00 00 00\n");
    // 1000.3 truncates to 1000 (0x63d0), 70000 overflows to infinity, −0 is 0.
    EXPECT_EQ(test::runCommand({ "tcbmgr", "get", "-sx", "-px", path, "00673132" }).output,
        "D0 63 00 7C 00 7E 00 00 00 3E 80 C0 00 00 FF 7B\n");
    putRaw(path, "00673134", "01020304050607"); // seven bytes
    putRaw(path, "00673135", "00 3c 00 3c 00 3c 00 3c 00 40"); // one record and a tail

    auto store = VKPageIndexStore::storeForPath(path);
    EXPECT_EQ(store->textForPageNumber(12), u"Hé");
    EXPECT_EQ(store->textForPageNumber(13), u"");
    EXPECT_EQ(store->glyphRectsForPageNumber(13).size(), 0u);
    EXPECT_EQ(store->pagesIndexed(), 258u);
    core::Data rects = store->glyphRectsForPageNumber(12);
    ASSERT_EQ(rects.size(), 32u);
    EXPECT_EQ(rectValue(rects, 0), 1000.0f);
    EXPECT_TRUE(std::isinf(rectValue(rects, 1)));
    EXPECT_TRUE(std::isnan(rectValue(rects, 2)));
    EXPECT_EQ(rectValue(rects, 3), 0.0f);
    EXPECT_FALSE(std::signbit(rectValue(rects, 3)));
    EXPECT_EQ(rectValue(rects, 5), -2.25f);
    EXPECT_EQ(rectValue(rects, 7), 65504.0f);
    EXPECT_EQ(store->glyphRectsForPageNumber(14).size(), 0u);
    core::Data partial = store->glyphRectsForPageNumber(15);
    ASSERT_EQ(partial.size(), 16u);
    EXPECT_EQ(rectValue(partial, 3), 1.0f);

    // Going back to 0 keeps what was stored.
    EXPECT_TRUE(store->setPagesIndexed(0));
    EXPECT_EQ(store->pagesIndexed(), 0u);
    EXPECT_EQ(store->textForPageNumber(12), u"Hé");
    EXPECT_EQ(store->identifiersForSearchString("x"), std::set<uint64_t> {});
}

} // namespace
