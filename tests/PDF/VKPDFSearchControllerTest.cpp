// Background indexing and searches through the controller, on real threads
// and real index files.

#include "PDF/SearchTestSupport.h"

#include "Kit/VKOperationQueue.h"
#include "Platform/Core/MemoryWarning.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <gtest/gtest.h>

using namespace searchtest;

namespace {

class VKPDFSearchControllerTest : public test::TestCase {
protected:
    void TearDown() override
    {
        for (auto& controller : controllers)
            controller->stopIndexing();
        for (auto& controller : controllers)
            pump([&] { return !controller->isIndexing(); });
        controllers.clear();
        VKPDFSearchController::resetSharedSearchQueue();
        TestCase::TearDown();
    }

    std::shared_ptr<VKPDFSearchController> controllerFor(std::shared_ptr<VKPDFDocument> document, const std::string& name = "doc",
        std::shared_ptr<Recorder> delegate = nullptr)
    {
        auto controller = VKPDFSearchController::initWithDocument(std::move(document), indexPath(name));
        controller->setDelegate(delegate ? delegate : recorder);
        controllers.push_back(controller);
        return controller;
    }
    std::string indexPath(const std::string& name) { return makeFolder("Library/Metadata/ContentIndexCache") + "/" + name; }

    static bool indexed(VKPDFSearchController& controller)
    {
        return pump([&] { return controller.fullyIndexed() && !controller.isIndexing(); });
    }
    std::vector<std::string> search(VKPDFSearchController& controller, const std::string& text,
        std::optional<VKDocumentRange> neighbour = std::nullopt, int direction = -1, size_t expected = 1)
    {
        recorder->events.clear();
        controller.searchForString(text, std::move(neighbour), direction);
        pump([&] { return recorder->events.size() >= expected; });
        return recorder->events;
    }

    static std::vector<std::string> pageTexts(int count)
    {
        std::vector<std::string> pages;
        for (int i = 1; i <= count; ++i)
            pages.push_back(fmt::format("page{} common words here", i));
        return pages;
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::vector<std::shared_ptr<VKPDFSearchController>> controllers;
};

using Events = std::vector<std::string>;

TEST_F(VKPDFSearchControllerTest, IndexesInTheBackgroundAndSearchesWithWrap)
{
    auto document = searchtest::document({ "alpha beta", "gamma", "beta beta", "red car blue" });
    auto controller = controllerFor(document);
    ASSERT_TRUE(indexed(*controller));
    pump([&] { return recorder->progress.size() == 4; });
    EXPECT_EQ(recorder->progress, (std::vector<float> { 0.25f, 0.5f, 0.75f, 1.0f }));
    auto store = controller->pageIndexStore();
    EXPECT_EQ(store->pagesIndexed(), 4u);
    auto scanned = controller->scannerForPageNumber(3);
    EXPECT_EQ(store->textForPageNumber(3), scanned->text());
    EXPECT_EQ(store->glyphRectsForPageNumber(3).size(), scanned->glyphRects().size());
    std::u16string text3 = scanned->text();
    uint32_t beta1 = uint32_t(text3.find(u"beta"));
    uint32_t beta2 = uint32_t(text3.find(u"beta", beta1 + 1));

    std::string first = search(*controller, "beta").at(0);
    auto hit = recorder->last;
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->page(), 1u);
    EXPECT_EQ(search(*controller, "beta", hit), Events { fmt::format("3:{}+4", beta1) });
    EXPECT_EQ(search(*controller, "beta", recorder->last), Events { fmt::format("3:{}+4", beta2) });
    // Forward past the last hit: a wrap, then the first hit.
    EXPECT_EQ(search(*controller, "beta", recorder->last, -1, 2), (Events { "wrap -1", first }));
    EXPECT_EQ(search(*controller, "beta", recorder->last, 1, 2), (Events { "wrap 1", fmt::format("3:{}+4", beta2) }));
    // Pages that hold both words but no hit: one wrap, then nothing.
    EXPECT_EQ(search(*controller, "red blue", std::nullopt, -1, 2), (Events { "wrap -1", "nil" }));
    // No page at all: nil and no wrap.
    EXPECT_EQ(search(*controller, "zebra"), Events { "nil" });
    controller->cancelSearch();
    EXPECT_EQ(recorder->events.back(), "cancel");

    // A fully indexed document starts no pass, neither now nor at a search.
    auto again = controllerFor(document);
    EXPECT_EQ(search(*again, "gamma").at(0).substr(0, 2), "2:");
    EXPECT_EQ(again->indexingPassCount(), 0u);
    EXPECT_EQ(controller->indexingPassCount(), 1u);
}

TEST_F(VKPDFSearchControllerTest, StopsResumesAndNeverRunsTwoPasses)
{
    auto document = searchtest::document(pageTexts(20));
    auto gate = std::make_shared<Gate>();
    auto seen = std::make_shared<std::vector<uint32_t>>();
    auto controller = VKPDFSearchController::initWithDocument(document, indexPath("doc"));
    controllers.push_back(controller);
    controller->setPageIndexedHookForTesting([gate, seen](uint32_t page) {
        seen->push_back(page);
        if (page == 5 && !gate->open)
            gate->wait();
    });
    controller->setDelegate(recorder);
    // Creation and an immediate search: one pass.
    controller->searchForString("page1", std::nullopt, -1);
    ASSERT_TRUE(pump([&] { return gate->reached.load(); }));
    controller->stopIndexing();
    gate->release();
    ASSERT_TRUE(pump([&] { return !controller->isIndexing(); }));
    EXPECT_EQ(controller->pageIndexStore()->pagesIndexed(), 5u);
    EXPECT_EQ(controller->indexingPassCount(), 1u);
    EXPECT_LE(controller->cachedScannerCountForTesting(), VKPDFSearchController::ScannerCacheLimit);

    controller->startIndexingIfNecessary();
    ASSERT_TRUE(indexed(*controller));
    std::vector<uint32_t> all;
    for (uint32_t page = 1; page <= 20; ++page)
        all.push_back(page);
    EXPECT_EQ(*seen, all);
    EXPECT_EQ(controller->indexingPassCount(), 2u);
    EXPECT_EQ(controller->cachedScannerCountForTesting(), VKPDFSearchController::ScannerCacheLimit);
}

TEST_F(VKPDFSearchControllerTest, MemoryWarningPausesAndRestartsAfterTenSeconds)
{
    auto document = searchtest::document(pageTexts(20));
    auto gate = std::make_shared<Gate>();
    auto controller = VKPDFSearchController::initWithDocument(document, indexPath("doc"));
    controllers.push_back(controller);
    controller->setDelegate(recorder);
    controller->setPageIndexedHookForTesting([gate](uint32_t page) {
        if (page == 5 && !gate->open)
            gate->wait();
    });
    ASSERT_TRUE(pump([&] { return gate->reached.load(); }));
    core::postMemoryWarning();
    core::RunLoop::main().runUntilIdle();
    gate->release();
    ASSERT_TRUE(pump([&] { return !controller->isIndexing(); }));
    ASSERT_FALSE(recorder->progress.empty());
    EXPECT_EQ(recorder->progress.back(), -0.25f);
    EXPECT_EQ(controller->cachedScannerCountForTesting(), 0u);

    auto& loop = core::RunLoop::main();
    loop.advance(6);
    core::postMemoryWarning();
    loop.runUntilIdle();
    loop.advance(9.9);
    EXPECT_EQ(controller->indexingPassCount(), 1u);
    EXPECT_EQ(controller->pageIndexStore()->pagesIndexed(), 5u);
    EXPECT_FALSE(controller->isIndexing());
    loop.advance(0.1);
    EXPECT_TRUE(pump([&] { return controller->indexingPassCount() == 2u; }));
    ASSERT_TRUE(indexed(*controller));

    // A stop drops the pending restart.
    auto other = VKPDFSearchController::initWithDocument(document, indexPath("other"));
    controllers.push_back(other);
    auto otherGate = std::make_shared<Gate>();
    other->setPageIndexedHookForTesting([otherGate](uint32_t page) {
        if (page == 3 && !otherGate->open)
            otherGate->wait();
    });
    ASSERT_TRUE(pump([&] { return otherGate->reached.load(); }));
    core::postMemoryWarning();
    loop.runUntilIdle();
    other->stopIndexing();
    otherGate->release();
    ASSERT_TRUE(pump([&] { return !other->isIndexing(); }));
    loop.advance(20);
    EXPECT_EQ(other->indexingPassCount(), 1u);
    EXPECT_EQ(other->pageIndexStore()->pagesIndexed(), 3u);
}

TEST_F(VKPDFSearchControllerTest, DisagreeingStoreAsksForARebuildThenCancels)
{
    auto controller = controllerFor(searchtest::document({ "one fish", "two fish" }));
    ASSERT_TRUE(indexed(*controller));
    controller->pageIndexStore()->setGlyphRects(core::Data(std::string(16, '\0')), 1);
    EXPECT_EQ(search(*controller, "fish", std::nullopt, -1, 2), (Events { "rebuild", "cancel" }));
    ASSERT_TRUE(indexed(*controller));
    EXPECT_EQ(search(*controller, "fish").at(0).substr(0, 2), "1:");
}

TEST_F(VKPDFSearchControllerTest, DelegateOrControllerMayGoAwayFirst)
{
    auto document = searchtest::document(pageTexts(6));
    auto gate = std::make_shared<Gate>();
    auto delegate = std::make_shared<Recorder>();
    auto controller = VKPDFSearchController::initWithDocument(document, indexPath("doc"));
    controller->setDelegate(delegate);
    controller->setPageIndexedHookForTesting([gate](uint32_t page) {
        if (page == 2 && !gate->open)
            gate->wait();
    });
    ASSERT_TRUE(pump([&] { return gate->reached.load(); }));
    delegate.reset();
    std::weak_ptr<VKPDFSearchController> weak = controller;
    controller->searchForString("common", std::nullopt, -1);
    controller.reset();
    gate->release();
    // The pass holds its controller until it ends.
    ASSERT_TRUE(pump([&] { return weak.expired(); }));
    core::RunLoop::main().runUntilIdle();

    // A search queued for a controller that is gone answers no one.
    auto recorderLike = std::make_shared<OperationRecorder>();
    recorderLike->store = VKPageIndexStore::storeForPath(indexPath("doc"));
    auto last = VKPDFSearchController::initWithDocument(document, indexPath("doc"));
    EXPECT_EQ(last->indexingPassCount(), 0u);
    last->searchForString("common", std::nullopt, -1);
    last.reset();
    auto queue = VKPDFSearchController::sharedSearchQueue();
    queue->addOperation(VKFileSearchQueryOperation::initWithSearchString("page3", std::nullopt, -1, recorderLike));
    ASSERT_TRUE(pump([&] { return !recorderLike->events.empty(); }));
    EXPECT_EQ(recorderLike->events.at(0).substr(0, 8), "page3 3:");
}

TEST_F(VKPDFSearchControllerTest, UnwritableIndexCountsNothing)
{
    makeFile("plain");
    auto document = searchtest::document(pageTexts(3));
    auto controller = VKPDFSearchController::initWithDocument(document, pathInHome("plain/index"));
    controllers.push_back(controller);
    controller->setDelegate(recorder);
    ASSERT_TRUE(pump([&] { return !controller->isIndexing(); }));
    EXPECT_EQ(search(*controller, "common"), Events { "nil" });
    ASSERT_TRUE(pump([&] { return !controller->isIndexing(); }));
    EXPECT_EQ(controller->pageIndexStore()->pagesIndexed(), 0u);
    EXPECT_TRUE(recorder->progress.empty());
    size_t warnings = 0;
    for (const auto& line : logLines())
        warnings += line.find("Warning, cannot store page 1 in the search index") != std::string::npos;
    EXPECT_EQ(warnings, 1u);
}

TEST_F(VKPDFSearchControllerTest, IndexerAndSearcherShareOneLiveStore)
{
    auto document = searchtest::document(pageTexts(6));
    for (int round = 0; round < 100; ++round) {
        auto controller = controllerFor(document, fmt::format("doc{}", round));
        recorder->events.clear();
        controller->searchForString("common words", std::nullopt, -1);
        ASSERT_TRUE(pump([&] { return !recorder->events.empty(); }));
        for (const auto& event : recorder->events)
            EXPECT_NE(event, "rebuild");
        if (auto hit = recorder->last) {
            EXPECT_LE(hit->page(), 6u);
        }
        ASSERT_TRUE(indexed(*controller));
        controllers.clear();
    }
}

TEST_F(VKPDFSearchControllerTest, AccentsTypedEitherWayFindEveryKindOfPage)
{
    test::PdfBuilder builder;
    int latin1 = builder.addStandardFont("Helvetica");
    // TeX's way: a diaeresis glyph set over the u.
    int tex = pdftext::addMonoFont(builder, "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [127 /dieresis] >>");
    int form = builder.addStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792]",
        "BT /F1 12 Tf 72 700 Td (Frau M\374ller im Formular) Tj ET");
    std::string entries = pdftext::pageEntries({ latin1, tex });
    builder.addPage("BT /F1 12 Tf 72 700 Td (Herr M\374ller) Tj ET", entries);
    builder.addPage("BT /F2 10 Tf 72 700 Td (M) Tj [(\177) 600 (uller)] TJ ET", entries);
    builder.addPage("/Fm Do", entries.substr(0, entries.size() - 2) + fmt::format(" /XObject << /Fm {} 0 R >> >>", form));
    builder.addPage("BT /F1 12 Tf 72 700 Td (Mueller Muller) Tj ET", entries);
    auto document = VKPDFDocument::initWithData(builder.build());
    auto controller = controllerFor(document);
    ASSERT_TRUE(indexed(*controller));
    auto store = controller->pageIndexStore();
    EXPECT_EQ(store->textForPageNumber(2), u"M\u00FCller");

    for (const char* typed : { "Müller", "MÜLLER", "mu\xCC\x88ller", "MU\xCC\x88LLER " }) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(store->identifiersForSearchString(typed, VKContentIndexStore::Combination::Intersect),
            (std::set<uint64_t> { 1, 2, 3 }));
        std::vector<uint32_t> pages;
        std::optional<VKDocumentRange> hit;
        for (int step = 0; step < 3; ++step) {
            search(*controller, typed, hit);
            hit = recorder->last;
            ASSERT_TRUE(hit);
            pages.push_back(hit->page());
        }
        EXPECT_EQ(pages, (std::vector<uint32_t> { 1, 2, 3 }));
    }
    // Inside the form, with the word that follows.
    EXPECT_EQ(search(*controller, "müller im formular").at(0), "3:5+18");
}

TEST_F(VKPDFSearchControllerTest, IndexesOfAnotherVersionAreBuiltAgainOnce)
{
    auto document = searchtest::document({ "caf\xE9 one", "two" });
    std::string path = indexPath("old");
    {
        // As an older version left it: decomposed words, every page counted,
        // no version.
        auto old = VKPageIndexStore::storeForPath(path);
        searchtest::storePage(*old, 1, u"cafe\u0301 one");
        old->addTokens({ std::string("cafe\xCC\x81 ") }, 1, false);
        searchtest::storePage(*old, 2, u"two");
        EXPECT_EQ(old->indexVersion(), 0u);
        EXPECT_EQ(old->pagesIndexed(), 2u);
    }
    auto controller = controllerFor(document, "old");
    ASSERT_TRUE(indexed(*controller));
    EXPECT_TRUE(logContains("was written by an older version; it is built again"));
    auto store = controller->pageIndexStore();
    EXPECT_EQ(store->indexVersion(), VKPageIndexStore::kIndexVersion);
    EXPECT_EQ(store->textForPageNumber(1), u"caf\u00E9 one");
    EXPECT_TRUE(store->identifiersForToken("cafe\xCC\x81 ").empty());
    EXPECT_EQ(search(*controller, "café").at(0), "1:0+4");
    EXPECT_EQ(controller->indexingPassCount(), 1u);

    // Current now: a second controller neither empties nor indexes it.
    auto again = controllerFor(document, "old");
    EXPECT_EQ(search(*again, "two").at(0), "2:0+3");
    EXPECT_EQ(again->indexingPassCount(), 0u);
}

TEST_F(VKPDFSearchControllerTest, WordPagesAgreeWithThePagesTexts)
{
    if (!test::hasProgram("pdftotext"))
        GTEST_SKIP() << "pdftotext missing";
    for (const char* name : { "reportlab.pdf", "writer.pdf", "ghostscript.pdf", "groff.pdf", "tex-builtin.pdf" }) {
        std::string path = sourcePath(std::string("tests/fixtures/pdf/") + name);
        auto document = VKPDFDocument::initWithPath(path);
        ASSERT_TRUE(document) << name;
        auto controller = controllerFor(document, name);
        ASSERT_TRUE(indexed(*controller));
        auto store = controller->pageIndexStore();
        // Ours: every word of a stored page finds exactly the pages whose text holds it.
        std::map<std::string, std::set<uint64_t>> ours;
        for (uint32_t page = 1; page <= document->numPages(); ++page) {
            for (const auto& token : VKContentIndexStore::tokensForText(*store->textForPageNumber(page)))
                ours[token].insert(page);
        }
        for (const auto& [token, pages] : ours)
            EXPECT_EQ(store->identifiersForToken(token), pages) << name << " " << token;
        // The peer's words: most find the same pages.
        std::map<std::string, std::set<uint64_t>> theirs;
        for (uint32_t page = 1; page <= document->numPages(); ++page) {
            auto result = test::runCommand({ "pdftotext", "-f", std::to_string(page), "-l", std::to_string(page), path, "-" });
            for (const auto& token : VKContentIndexStore::tokensForText(result.output))
                theirs[token].insert(page);
        }
        size_t same = 0;
        for (const auto& [token, pages] : theirs)
            same += store->identifiersForToken(token) == pages;
        EXPECT_GE(double(same), 0.9 * double(theirs.size())) << name;
        // Accented words typed normally find every page the peer shows
        // them on (in the TeX manual, one of them inside a form).
        for (const char* word : { "müller ", "café " }) {
            if (theirs.count(word)) {
                EXPECT_EQ(store->identifiersForSearchString(word, VKContentIndexStore::Combination::Intersect), theirs[word])
                    << name << " " << word;
            }
        }
    }
}

} // namespace
