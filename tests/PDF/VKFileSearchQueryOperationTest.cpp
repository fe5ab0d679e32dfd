// Search operations over hand-filled index stores.

#include "PDF/SearchTestSupport.h"

#include "Kit/VKOperationQueue.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

using namespace searchtest;

namespace {

class VKFileSearchQueryOperationTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        recorder = std::make_shared<OperationRecorder>();
        recorder->store = VKPageIndexStore::storeForPath(makeFolder("Library/Metadata/ContentIndexCache") + "/doc");
    }
    void TearDown() override
    {
        VKPDFSearchController::resetSharedSearchQueue();
        recorder.reset();
        TestCase::TearDown();
    }

    // Runs one search on this thread and answers its messages.
    std::vector<std::string> search(const std::string& text, std::optional<VKDocumentRange> neighbour = std::nullopt, int direction = -1)
    {
        recorder->events.clear();
        VKFileSearchQueryOperation::initWithSearchString(text, std::move(neighbour), direction, recorder)->run();
        core::RunLoop::main().runUntilIdle();
        return recorder->events;
    }

    std::shared_ptr<OperationRecorder> recorder;
};

using Events = std::vector<std::string>;

TEST_F(VKFileSearchQueryOperationTest, HitsCountUTF16UnitsOverlapAndMatchWordsLiterally)
{
    auto& store = *recorder->store;
    // An astral character (two units) and an é, composed as page texts
    // are, before the hits.
    storePage(store, 1, u"\U0001D11E caf\u00E9 X eog e.g aaa");
    EXPECT_EQ(search("x"), Events { "x 1:8+1" });
    // An accent typed composed or decomposed finds it alike.
    EXPECT_EQ(search("CAFÉ"), Events { "CAFÉ 1:3+4" });
    EXPECT_EQ(search("cafe\u0301 "), Events { "cafe\u0301  1:3+4" });
    EXPECT_EQ(search("e.g"), Events { "e.g 1:14+3" });
    EXPECT_EQ(search("aa"), Events { "aa 1:18+2" });
    auto first = VKDocumentRange(1, { 18, 2 });
    EXPECT_EQ(search("aa", first), Events { "aa 1:19+2" });
    EXPECT_EQ(search("aa", VKDocumentRange(1, { 19, 2 })), Events { "aa overflow" });
    EXPECT_EQ(search("aa", first, 1), Events { "aa overflow" });
}

TEST_F(VKFileSearchQueryOperationTest, ApostrophesAndClosingQuotesFindEachOther)
{
    // Pages keep the closing quote as drawn; people type the apostrophe.
    auto& store = *recorder->store;
    storePage(store, 1, u"I don\u2019t know");
    storePage(store, 2, u"we can't");
    EXPECT_EQ(search("Don't"), Events { "Don't 1:2+5" });
    EXPECT_EQ(search("can\u2019t"), Events { "can\u2019t 2:3+5" });
}

TEST_F(VKFileSearchQueryOperationTest, WalksMatchingPagesInBothDirections)
{
    auto& store = *recorder->store;
    storePage(store, 1, u"red car blue");
    storePage(store, 2, u"nothing here");
    storePage(store, 3, u"red blue and red blue");
    storePage(store, 4, u"blue red");
    // Both words on page 1 and 4 but never side by side.
    EXPECT_EQ(search("red blue"), Events { "red blue 3:0+8" });
    EXPECT_EQ(search("red blue", VKDocumentRange(3, { 0, 8 })), Events { "red blue 3:13+8" });
    EXPECT_EQ(search("red blue", VKDocumentRange(3, { 13, 8 })), Events { "red blue overflow" });
    EXPECT_EQ(search("red blue", std::nullopt, 1), Events { "red blue 3:13+8" });
    EXPECT_EQ(search("red blue", VKDocumentRange(3, { 0, 8 }), 1), Events { "red blue overflow" });
    // From a page outside the set, the walk goes on from its number.
    EXPECT_EQ(search("blue", VKDocumentRange(2, { 0, 1 })), Events { "blue 3:4+4" });
    EXPECT_EQ(search("blue", VKDocumentRange(2, { 0, 1 }), 1), Events { "blue 1:8+4" });
    // No page holds every word, or there is no word at all: a nil result.
    EXPECT_EQ(search("red zebra"), Events { "red zebra nil" });
    EXPECT_EQ(search("!!!"), Events { "!!! nil" });
}

TEST_F(VKFileSearchQueryOperationTest, DisagreeingPagesAskForAnIndexAndLongStringsStayBounded)
{
    auto& store = *recorder->store;
    storePage(store, 1, u"word one");
    storePage(store, 2, u"word two");
    store.setGlyphRects(core::Data(std::string(16 * 3, '\0')), 2);
    EXPECT_EQ(search("word", VKDocumentRange(1, { 0, 4 })), (Events { "word needsIndex", "word cancel" }));
    // An odd-length block reads its whole records only.
    store.setGlyphRects(core::Data(std::string(16 * 8 + 8, '\0')), 2);
    EXPECT_EQ(search("two"), Events { "two 2:5+3" });

    std::string pasted;
    while (pasted.size() < 100 * 1024)
        pasted += "word ";
    EXPECT_EQ(search(pasted), Events { pasted + " overflow" });
}

TEST_F(VKFileSearchQueryOperationTest, ANewSearchCancelsTheRunningOne)
{
    storePage(*recorder->store, 1, u"first second");
    auto gate = std::make_shared<Gate>();
    recorder->willAnswerStore = [gate] {
        if (!gate->reached)
            gate->wait();
    };
    auto queue = VKPDFSearchController::sharedSearchQueue();
    ASSERT_TRUE(queue);
    queue->setOperation(VKFileSearchQueryOperation::initWithSearchString("first", std::nullopt, -1, recorder));
    ASSERT_TRUE(pump([&] { return gate->reached.load(); }));
    queue->setOperation(VKFileSearchQueryOperation::initWithSearchString("second", std::nullopt, -1, recorder));
    gate->release();
    ASSERT_TRUE(pump([&] { return recorder->events.size() == 2; }));
    EXPECT_EQ(recorder->events, (Events { "first cancel", "second 1:6+6" }));
}

} // namespace
