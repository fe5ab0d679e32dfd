#include "Platform/PDF/Document.h"
#include "Platform/PDF/DocumentState.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/PDF/Scanner.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"
#include "Tools.h"

#include <fmt/format.h>
#include <algorithm>
#include <random>

using pdf::Box;
using pdf::Document;
using Encryption = test::PdfBuilder::Encryption;

namespace {

class DocumentTest : public test::TestCase {
protected:
    static std::shared_ptr<Document> open(const core::Data& bytes, Document::Status expected)
    {
        Document::Status status;
        auto document = Document::open(bytes, &status);
        EXPECT_EQ(status, expected);
        EXPECT_EQ(bool(document), expected != Document::Status::NotPDF);
        return document;
    }

    static core::Data blueSquare(const std::optional<Encryption>& encryption)
    {
        test::PdfBuilder builder;
        builder.addPage("0 0 1 rg 100 100 200 200 re f");
        return builder.build(encryption);
    }

    // The heap a long read of `document` judges while it lives: each page
    // read adds 1 MiB, which a new reading gives back or not.
    class Heap {
    public:
        explicit Heap(const Document& document)
            : m_document(document)
            , m_made(document.readingsMade())
        {
            s_inUse = 0;
            Document::setHeapMeasureForTesting([] { return s_inUse; });
        }
        ~Heap() { Document::setHeapMeasureForTesting(nullptr); }
        void pageRead(bool givenBack)
        {
            if (givenBack && m_document.readingsMade() != m_made)
                s_inUse = 0;
            m_made = m_document.readingsMade();
            s_inUse += size_t(1) << 20;
        }

    private:
        static inline size_t s_inUse = 0;
        const Document& m_document;
        uint64_t m_made;
    };

    static size_t drawnPixels(const Document& document)
    {
        auto bitmap = gfx::BitmapContext::create(612, 792);
        pdf::drawPage(document.page(1), *bitmap);
        return pdftest::nonWhitePixels(*bitmap);
    }
};

TEST_F(DocumentTest, WhatIsNotAPDF)
{
    core::LogCapture log(true);
    open(core::Data(), Document::Status::NotPDF);
    open(core::Data(std::string("Just some text,\nwith lines.\n")), Document::Status::NotPDF);
    std::mt19937 random(7);
    std::string noise(4096, '\0');
    for (char& c : noise)
        c = char(random());
    open(core::Data(noise), Document::Status::NotPDF);
}

TEST_F(DocumentTest, DamagedFilesOpenOrFailCleanly)
{
    core::LogCapture log(true);
    test::PdfBuilder builder;
    for (int i = 0; i < 3; ++i)
        builder.addPage(fmt::format("BT /F1 12 Tf 72 700 Td (Page {}) Tj ET", i + 1));
    std::string bytes = builder.buildString({}, false);

    // Every offset of the cross-reference table off by a few bytes.
    std::string broken = bytes;
    for (size_t at = broken.find(" 00000 n"); at != std::string::npos && at >= 10; at = broken.find(" 00000 n", at + 1))
        broken.replace(at - 10, 10, "0000000003");
    ASSERT_NE(broken, bytes);
    auto document = open(core::Data(broken), Document::Status::Opened);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->pageCount(), 3);

    // Cut anywhere: whatever opens can be read and drawn without harm.
    for (size_t cut : { bytes.size() / 2, bytes.size() / 3, size_t(20), bytes.size() - 30 }) {
        auto part = Document::open(core::Data(bytes.substr(0, cut)));
        if (!part)
            continue;
        for (int n = 1; n <= part->pageCount(); ++n) {
            part->page(n).boxRect(Box::Crop);
            drawnPixels(*part);
        }
    }
}

TEST_F(DocumentTest, EncryptionKinds)
{
    for (auto kind : { Encryption::RC4_40, Encryption::RC4_128, Encryption::AES_128, Encryption::AES_256 }) {
        SCOPED_TRACE(int(kind));
        // An empty user password opens at once, and still counts as encrypted.
        auto open = DocumentTest::open(blueSquare(Encryption { kind, "", "owner" }), Document::Status::Opened);
        ASSERT_TRUE(open);
        EXPECT_TRUE(open->isEncrypted());
        EXPECT_EQ(open->pageCount(), 1);
        EXPECT_GT(drawnPixels(*open), 1000u);

        auto locked = DocumentTest::open(blueSquare(Encryption { kind, "user", "owner" }), Document::Status::Locked);
        ASSERT_TRUE(locked);
        EXPECT_TRUE(locked->isEncrypted());
        EXPECT_EQ(locked->pageCount(), 0);
        EXPECT_FALSE(locked->page(1));
        EXPECT_FALSE(locked->catalog());
        EXPECT_FALSE(locked->unlock("wrong"));
        EXPECT_FALSE(locked->unlock(""));
        EXPECT_TRUE(locked->isLocked());
        EXPECT_TRUE(locked->unlock("owner"));
        EXPECT_FALSE(locked->isLocked());
        EXPECT_EQ(locked->pageCount(), 1);
        EXPECT_GT(drawnPixels(*locked), 1000u);

        auto byUser = Document::open(blueSquare(Encryption { kind, "user", "owner" }));
        EXPECT_TRUE(byUser->unlock("user"));
        EXPECT_GT(drawnPixels(*byUser), 1000u);
    }

    auto plain = open(blueSquare(std::nullopt), Document::Status::Opened);
    EXPECT_FALSE(plain->isEncrypted());
    EXPECT_TRUE(plain->unlock("anything"));
}

TEST_F(DocumentTest, PasswordsAreRawBytes)
{
    // "pässwörd" as Windows-1252 for the old scheme, as UTF-8 for AES-256.
    const std::string windows1252 = "p\xe4ssw\xf6rd", utf8 = "p\xc3\xa4ssw\xc3\xb6rd";
    auto old = open(blueSquare(Encryption { Encryption::RC4_128, windows1252, "o" }), Document::Status::Locked);
    EXPECT_FALSE(old->unlock(utf8));
    EXPECT_TRUE(old->unlock(windows1252));
    EXPECT_GT(drawnPixels(*old), 1000u);

    auto modern = open(blueSquare(Encryption { Encryption::AES_256, utf8, "o" }), Document::Status::Locked);
    EXPECT_FALSE(modern->unlock(windows1252));
    EXPECT_TRUE(modern->unlock(utf8));
    EXPECT_GT(drawnPixels(*modern), 1000u);

    EXPECT_FALSE(Document::open(blueSquare(Encryption { Encryption::RC4_128, "a", "b" }))->unlock(std::string("a\0b", 3)));
}

TEST_F(DocumentTest, PagesBoxesAndRotationReadAsThePeersReadThem)
{
    test::PdfBuilder builder;
    int outer = builder.addPages(0, "/MediaBox [0 0 500 600] /Rotate 180");
    int inner = builder.addPages(outer, "/CropBox [10 20 400 500] /Rotate -90");
    const char* pages[] = {
        "/MediaBox [0 0 0 0] /CropBox [10 10 100 100]", // unreadable media box: inherited
        "/MediaBox [0 0 200 300 5]",
        "/MediaBox [0 0 200 300] /CropBox [-50 -50 500 100]", // crop box beyond the media box
        "/MediaBox [0 0 200 300] /CropBox [150 250 400 400] /BleedBox [0 0 1000 1000] /TrimBox [300 300 400 400] "
        "/ArtBox [20 30 10 5]",
        "/MediaBox [200 300 0 0] /Rotate 450",
        "/MediaBox [0 0 200 300] /Rotate -90",
        "/MediaBox [0 0 200 300] /Rotate 90.0",
        "/MediaBox [0 0 /a 300] /Rotate 270",
    };
    for (const char* entries : pages) {
        builder.addPage(test::PdfBuilder::PageDescription { entries, {}, inner });
        builder.addPage(test::PdfBuilder::PageDescription { entries, {}, outer });
    }
    builder.addPage(test::PdfBuilder::PageDescription { "/Rotate 720", {}, 0 }); // no media box anywhere
    std::string path = pathInHome("boxes.pdf");
    builder.write(path);
    core::Data bytes;
    ASSERT_TRUE(core::fs::readFile(path, bytes));
    auto document = open(bytes, Document::Status::Opened);

    int count = std::stoi(pdftest::run("qpdf --show-npages " + path));
    ASSERT_EQ(document->pageCount(), count);
    ASSERT_EQ(count, 17);
    EXPECT_FALSE(document->page(0));
    EXPECT_FALSE(document->page(count + 1));
    EXPECT_FALSE(document->page(-1));

    pdftest::expectBoxesAsPdfinfo(*document, path);
    EXPECT_EQ(document->page(count).boxRect(Box::Media), gfx::Rect(0, 0, 612, 792));
    EXPECT_EQ(document->page(2).boxRect(Box::Media), gfx::Rect(0, 0, 500, 600));
}

TEST_F(DocumentTest, RotationAnglesOutsideTheQuarters)
{
    test::PdfBuilder builder;
    builder.addPage("", "/Rotate 45");
    builder.addPage("", "/Rotate -450");
    builder.addPage("", "/Rotate 9999999999");
    auto document = Document::open(builder.build());
    EXPECT_EQ(document->page(1).rotationAngle(), 0);
    EXPECT_EQ(document->page(2).rotationAngle(), 270);
    EXPECT_EQ(document->page(3).rotationAngle(), 0);
}

TEST_F(DocumentTest, SerialsAreNeverReused)
{
    core::Data bytes = blueSquare(std::nullopt);
    uint64_t first = Document::open(bytes)->serial();
    uint64_t second = Document::open(bytes)->serial();
    EXPECT_NE(first, second);
}

TEST_F(DocumentTest, HostilePageTreesStayLinear)
{
    // A node shared by two parents at every level would list 2^40 pages if
    // entered each time; a loop back to the root would never end.
    test::PdfBuilder builder;
    int node = builder.addPages(0);
    builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 10 10]", {}, node });
    for (int level = 0; level < 40; ++level) {
        int next = builder.addObject("<< /Type /Pages /Count 2 >>");
        builder.setObject(next, fmt::format("<< /Type /Pages /Kids [{0} 0 R {0} 0 R {1} 0 R] >>", node, builder.rootPages()));
        node = next;
    }
    builder.setCatalogEntry("Pages", fmt::format("{} 0 R", node));
    auto document = Document::open(builder.build());
    ASSERT_TRUE(document);
    EXPECT_EQ(document->pageCount(), 1);
}

} // namespace

namespace {

// The width of a page's media box, which these tests set to its number.
int widthOf(const pdf::Page& page)
{
    return page ? int(page.boxRect(Box::Media).width()) : 0;
}

TEST_F(DocumentTest, PagesAreFoundByTheTreeCountsInAnyOrder)
{
    // 7 nodes of 3 nodes of 5 pages.
    test::PdfBuilder builder;
    int number = 0;
    for (int a = 0; a < 7; ++a) {
        int outer = builder.addPages(0);
        for (int b = 0; b < 3; ++b) {
            int inner = builder.addPages(outer);
            for (int c = 0; c < 5; ++c) {
                ++number;
                builder.addPage(test::PdfBuilder::PageDescription { fmt::format("/MediaBox [0 0 {} 10]", number), {}, inner });
            }
        }
    }
    auto document = Document::open(builder.build());
    ASSERT_TRUE(document);
    std::vector<int> order(105);
    for (int i = 0; i < 105; ++i)
        order[size_t(i)] = i + 1;
    std::shuffle(order.begin(), order.end(), std::mt19937(79));
    for (int page : order)
        EXPECT_EQ(widthOf(document->page(page)), page);
    for (int page = 105; page >= 1; --page)
        EXPECT_EQ(widthOf(document->page(page)), page);
    EXPECT_EQ(document->pageCount(), 105);
    EXPECT_FALSE(logContains("walking it found"));

    // A reopened document goes on from where its origin's search stands,
    // and still finds any page.
    for (int page = 1; page <= 50; ++page)
        ASSERT_EQ(widthOf(document->page(page)), page);
    auto reopened = document->reopened();
    ASSERT_TRUE(reopened);
    for (int page : { 51, 52, 75, 105, 3, 50 })
        EXPECT_EQ(widthOf(reopened->page(page)), page);
    EXPECT_EQ(widthOf(reopened->reopened()->page(104)), 104);
}

// qpdf keeps every object a reading of the file has read: a long read
// goes on in new readings, and the old ones go with their last handle,
// whose objects read on meanwhile.
TEST_F(DocumentTest, LongReadsKeepTheirReadingsFew)
{
    test::PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    const int pages = 300;
    for (int page = 1; page <= pages; ++page)
        builder.addPage(fmt::format("0 0 1 rg 0 0 1000 792 re f BT /F1 12 Tf 72 700 Td (page {}) Tj ET", page),
            fmt::format("/MediaBox [0 0 {} 792] /Resources << /Font << /F1 {} 0 R >> >>", page, font));
    auto document = Document::open(builder.build());
    ASSERT_TRUE(document);
    pdf::Dictionary first = document->page(1).dictionary();
    pdf::Dictionary firstFont;
    ASSERT_TRUE(document->page(1).dictionary().dictionary("Resources", firstFont));
    const pdf::OperatorTable& table = pdftest::shownTextTable();
    int most = 0;
    for (int page = 1; page <= pages; ++page) {
        std::string text;
        pdf::Scanner scanner(document->page(page), table, &text);
        ASSERT_TRUE(scanner.scan());
        ASSERT_EQ(text, fmt::format("page {}", page));
        ASSERT_EQ(widthOf(document->page(page)), page);
        // The renderer's documents are let go alike; their next draws right.
        auto bitmap = gfx::BitmapContext::create(10, 10);
        bitmap->scaleCTM(2, 2);
        pdf::drawPage(document->page(page), *bitmap);
        ASSERT_GT(pdftest::nonWhitePixels(*bitmap), 0u) << page;
        most = std::max(most, document->readingsAliveForTesting());
    }
    // The first reading, which `first` holds, and the current one.
    EXPECT_LE(most, 2);
    // A reading for every 128 pages.
    EXPECT_GE(document->readingsMade(), uint64_t(pages / 128));
    pdf::Array box;
    double width = 0;
    ASSERT_TRUE(first.array("MediaBox", box));
    ASSERT_TRUE(box.number(2, width));
    EXPECT_EQ(width, 1);
    pdf::Dictionary fonts;
    EXPECT_TRUE(firstFont.dictionary("Font", fonts));
    first = {};
    firstFont = {};
    fonts = {};
    box = {};
    EXPECT_EQ(document->readingsAliveForTesting(), 1);
    // The count and the pages read the same in any order afterwards.
    EXPECT_EQ(document->pageCount(), pages);
    for (int page : { 300, 1, 150, 299 })
        EXPECT_EQ(widthOf(document->page(page)), page);
}

// A long read goes on in a new reading once the heap has grown by more
// than the first page cost (3 MiB at least); a new reading that gave
// nothing back (the growth was someone else's) makes the next wait for
// twice as much.
TEST_F(DocumentTest, ReadingsGoOnceTheHeapHasGrown)
{
    test::PdfBuilder builder;
    const int pages = 300;
    for (int page = 1; page <= pages; ++page)
        builder.addPage("", fmt::format("/MediaBox [0 0 {} 792]", page));
    core::Data bytes = builder.build();
    auto readingsFor = [&](bool givenBack) {
        auto document = Document::open(bytes);
        Heap heap(*document);
        for (int page = 1; page <= pages; ++page) {
            EXPECT_EQ(widthOf(document->page(page)), page);
            heap.pageRead(givenBack);
            EXPECT_EQ(document->readingsAliveForTesting(), 1);
        }
        return document->readingsMade();
    };
    // A reading for every 5 pages: its first, and 4 MiB more.
    EXPECT_EQ(readingsFor(true), uint64_t(pages / 5));
    // 5, 8, 14, 26, 50, 98 pages and then 128 at most.
    EXPECT_EQ(readingsFor(false), 7u);
}

// The renderer documents go with a reading let go because the heap grew:
// what they kept of the pages they drew is part of that growth. The heap
// is judged without the page each renderer keeps for the next tile.
TEST_F(DocumentTest, RenderersGoWithAReadingOutgrown)
{
    test::PdfBuilder builder;
    for (int page = 1; page <= 40; ++page)
        builder.addPage("0 g 0 0 10 10 re f");
    auto document = Document::open(builder.build());
    Heap heap(*document);
    for (int number = 1; number <= 40; ++number) {
        pdf::Page page = document->page(number);
        const auto& file = *pdf::detail::HandleAccess::document(page)->file;
        for (const auto& renderer : file.idleRenderers)
            ASSERT_EQ(renderer.page, nullptr) << number;
        auto bitmap = gfx::BitmapContext::create(10, 10);
        pdf::drawPage(page, *bitmap);
        ASSERT_GT(pdftest::nonWhitePixels(*bitmap), 0u) << number;
        heap.pageRead(true);
    }
    // A reading for every 5 pages, and a renderer for each.
    EXPECT_EQ(document->readingsMade(), 8u);
    EXPECT_EQ(pdf::detail::HandleAccess::document(document->page(40))->file->renderersOpened, 8u);
}

TEST_F(DocumentTest, PageCountsThatLieGiveWayToAWalk)
{
    // The tree's top node says `count`; three pages stand under it (the
    // middle one inside a node that says `inner`).
    auto lying = [](const std::string& count, const std::string& inner = "/Count 1") {
        test::PdfBuilder builder;
        int top = builder.addPages(0, count);
        builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 1 10]", {}, top });
        int node = builder.addPages(top, inner);
        builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 2 10]", {}, node });
        builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 3 10]", {}, top });
        builder.setCatalogEntry("Pages", fmt::format("{} 0 R", top));
        return Document::open(builder.build());
    };

    // The number of pages is the walk's from the first time it is asked,
    // and stays so whatever pages are asked for; more pages than there are
    // are never read past the real ones.
    auto over = lying("/Count 5");
    EXPECT_EQ(over->pageCount(), 3);
    EXPECT_EQ(widthOf(over->page(3)), 3);
    EXPECT_FALSE(over->page(4));
    EXPECT_FALSE(over->page(5));
    EXPECT_EQ(over->pageCount(), 3);
    EXPECT_TRUE(logContains("the page tree claims 5 pages; walking it found 3"));
    auto overAskedLate = lying("/Count 5");
    EXPECT_EQ(widthOf(overAskedLate->page(2)), 2);
    EXPECT_EQ(overAskedLate->pageCount(), 3);

    // Fewer: the page counted last is not the last one.
    auto under = lying("/Count 2");
    EXPECT_EQ(under->pageCount(), 3);
    EXPECT_EQ(widthOf(under->page(2)), 2);
    EXPECT_EQ(widthOf(under->page(3)), 3);
    EXPECT_EQ(under->pageCount(), 3);

    // An inner node that overstates moves the pages after it; one without a
    // count leaves no way down but the walk.
    for (const char* inner : { "/Count 2", "/Count /Two", "" }) {
        SCOPED_TRACE(inner);
        auto document = lying("/Count 3", inner);
        EXPECT_EQ(widthOf(document->page(3)), 3);
        EXPECT_EQ(widthOf(document->page(2)), 2);
        EXPECT_EQ(document->pageCount(), 3);
    }

    // A count no file of this size could hold is not believed at all.
    auto absurd = lying("/Count 2000000000");
    EXPECT_EQ(absurd->pageCount(), 3);

    // A lie below kids that agree with the root is found only when the pages
    // are read; the number told before stands, its last page empty.
    auto deep = lying("/Count 4", "/Count 2");
    EXPECT_EQ(deep->pageCount(), 4);
    EXPECT_EQ(widthOf(deep->page(3)), 3);
    EXPECT_FALSE(deep->page(4));
    EXPECT_EQ(deep->pageCount(), 4);

    // A reopened document tells the number its origin told and knows its walk.
    for (const auto& [document, count] : { std::pair { deep, 4 }, std::pair { over, 3 } }) {
        auto reopened = document->reopened();
        EXPECT_EQ(reopened->pageCount(), count);
        EXPECT_EQ(widthOf(reopened->page(3)), 3);
        EXPECT_EQ(widthOf(reopened->page(1)), 1);
        EXPECT_FALSE(reopened->page(4));
    }
}

} // namespace
