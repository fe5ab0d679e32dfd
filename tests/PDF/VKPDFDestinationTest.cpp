#include "PDF/VKPDFDestination.h"

#include "Platform/Core/Log.h"
#include "Platform/PDF/Tools.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>
#include <sstream>

namespace {

class VKPDFDestinationTest : public test::TestCase {
protected:
    void open(test::PdfBuilder& builder)
    {
        m_document = pdf::Document::open(builder.build());
        ASSERT_TRUE(m_document);
    }

    // A destination from PDF syntax, kept in the catalog under /TestDest.
    std::shared_ptr<VKPDFDestination> destination(test::PdfBuilder& builder, const std::string& syntax)
    {
        builder.setCatalogEntry("TestDest", syntax);
        open(builder);
        pdf::Object object;
        m_document->catalog().object("TestDest", object);
        return VKPDFDestination::destinationWithDocumentRef(m_document, object);
    }

    std::shared_ptr<pdf::Document> m_document;
};

TEST_F(VKPDFDestinationTest, NamedDestinations)
{
    test::PdfBuilder builder;
    std::vector<int> pages;
    for (int i = 0; i < 4; ++i)
        pages.push_back(builder.addPage(""));
    builder.setCatalogEntry("Dests", fmt::format("<< /old [{} 0 R /Fit] /wrapped << /D [{} 0 R /Fit] >> /number 5 >>", pages[1], pages[2]));
    // Two levels of kids with limits over leaves of names.
    int leafA = builder.addObject(fmt::format("<< /Limits [(a) (c)] /Names [(a) [{0} 0 R /Fit] (b) << /D [{1} 0 R /Fit] >> (c) 7] >>", pages[0], pages[1]));
    int leafB = builder.addObject(fmt::format("<< /Limits [(m) (\xe4z)] /Names [(m) [{0} 0 R /Fit] (\xe4z) [{1} 0 R /Fit]] >>", pages[2], pages[3]));
    int middle = builder.addObject(fmt::format("<< /Limits [(a) (\xe4z)] /Kids [{} 0 R {} 0 R] >>", leafA, leafB));
    int root = builder.addObject(fmt::format("<< /Kids [{} 0 R] >>", middle));
    builder.setCatalogEntry("Names", fmt::format("<< /Dests {} 0 R >>", root));
    const std::pair<std::string, int> cases[] = {
        { "/old", 2 }, { "/wrapped", 3 }, { "/number", 0 }, { "/missing", 0 }, { "/a", 0 }, // names: only /Dests
        { "(a)", 1 }, { "(b)", 2 }, { "(c)", 0 }, { "(m)", 3 }, { "<e47a>", 4 }, // byte-wise limits: 0xe4 > 'm'
        { "(bb)", 0 }, { "(d)", 0 }, { "(zz)", 0 }, { "(old)", 0 }, // between leaves, outside every limit
        { fmt::format("[{} 0 R /Fit]", pages[3]), 4 }, { "7", 0 }, { "<< /D (a) >>", 0 },
    };
    for (const auto& [syntax, page] : cases) {
        auto target = destination(builder, syntax);
        EXPECT_EQ(target->pageNumber(), page) << syntax;
        EXPECT_EQ(target->isInvalid(), page == 0) << syntax;
    }
}

TEST_F(VKPDFDestinationTest, BrokenNameTrees)
{
    test::PdfBuilder builder;
    int page = builder.addPage("");
    int good = builder.addObject(fmt::format("<< /Limits [(a) (z)] /Names [(k) [{} 0 R /Fit]] >>", page));
    int loop = builder.addObject("<< >>");
    builder.setObject(loop, fmt::format("<< /Limits [(a) (z)] /Kids [{} 0 R] >>", loop));
    const std::string trees[] = {
        fmt::format("<< /Kids [{} 0 R] >>", good), // sound
        fmt::format("<< /Kids [<< /Limits [(a)] >> {} 0 R] >>", good), // one limit
        fmt::format("<< /Kids [<< /Limits [(a) /z] >> {} 0 R] >>", good), // not strings
        fmt::format("<< /Kids [5 {} 0 R] >>", good), // a kid that is no dictionary
        fmt::format("<< /Kids [{} 0 R] >>", loop), // a loop
    };
    for (size_t i = 0; i < std::size(trees); ++i) {
        builder.setCatalogEntry("Names", "<< /Dests " + trees[i] + " >>");
        EXPECT_EQ(destination(builder, "(k)")->pageNumber(), i == 0 ? 1 : 0) << trees[i];
    }

    // Deeper than 64 levels.
    int node = good;
    for (int level = 0; level < 70; ++level)
        node = builder.addObject(fmt::format("<< /Limits [(a) (z)] /Kids [{} 0 R] >>", node));
    builder.setCatalogEntry("Names", fmt::format("<< /Dests {} 0 R >>", node));
    EXPECT_EQ(destination(builder, "(k)")->pageNumber(), 0);
}

TEST_F(VKPDFDestinationTest, PageNumbersFromThePageTree)
{
    // A Pages node counting 5, a page, then the page wanted: page 7.
    test::PdfBuilder builder;
    int five = builder.addPages(0);
    for (int i = 0; i < 5; ++i)
        builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 612 792]", {}, five });
    builder.addPage("");
    int seventh = builder.addPage("");
    EXPECT_EQ(destination(builder, fmt::format("[{} 0 R /Fit]", seventh))->pageNumber(), 7);
    EXPECT_EQ(m_document->pageCount(), 7);

    // Written by hand: kids that are no dictionaries are skipped, a node
    // without /Count counts 1 (here it holds one page), a /Count too large
    // puts a page past the end.
    test::PdfBuilder raw;
    int root = raw.addObject("<< >>"), inner = raw.addObject("<< >>"), big = raw.addObject("<< >>");
    int a = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R /MediaBox [0 0 10 10] >>", inner));
    int b = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R /MediaBox [0 0 10 10] >>", root));
    int c = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R /MediaBox [0 0 10 10] >>", big));
    int d = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R /MediaBox [0 0 10 10] >>", root));
    int stray = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R >>", root));
    raw.setObject(inner, fmt::format("<< /Type /Pages /Parent {} 0 R /Kids [{} 0 R] >>", root, a));
    raw.setObject(big, fmt::format("<< /Type /Pages /Parent {} 0 R /Kids [{} 0 R] /Count 9 >>", root, c));
    raw.setObject(root, fmt::format("<< /Type /Pages /Kids [null 3 {} 0 R {} 0 R {} 0 R {} 0 R] /Count 4 >>", inner, b, big, d));
    raw.setCatalogEntry("Pages", fmt::format("{} 0 R", root));
    for (auto [page, number] : { std::pair { a, 1 }, { b, 2 }, { c, 3 }, { d, 0 }, { stray, 0 } })
        EXPECT_EQ(destination(raw, fmt::format("[{} 0 R /Fit]", page))->pageNumber(), number) << page;
    EXPECT_EQ(m_document->pageCount(), 4);
}

TEST_F(VKPDFDestinationTest, LoopingParents)
{
    test::PdfBuilder raw;
    int x = raw.addObject("<< >>"), y = raw.addObject("<< >>");
    int page = raw.addObject(fmt::format("<< /Type /Page /Parent {} 0 R >>", x));
    raw.setObject(x, fmt::format("<< /Type /Pages /Parent {} 0 R /Kids [{} 0 R] >>", y, page));
    raw.setObject(y, fmt::format("<< /Type /Pages /Parent {} 0 R /Kids [{} 0 R] >>", x, x));
    raw.setCatalogEntry("Pages", fmt::format("{} 0 R", x));
    EXPECT_EQ(destination(raw, fmt::format("[{} 0 R /Fit]", page))->pageNumber(), 0);

    // 70 nested nodes: too deep to trust.
    test::PdfBuilder deep;
    int node = 0;
    for (int level = 0; level < 70; ++level)
        node = deep.addPages(node);
    int bottom = deep.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 10 10]", {}, node });
    EXPECT_EQ(destination(deep, fmt::format("[{} 0 R /Fit]", bottom))->pageNumber(), 0);
}

TEST_F(VKPDFDestinationTest, Anchors)
{
    test::PdfBuilder builder;
    int page = builder.addPage("", "/MediaBox [0 0 612 792]");
    int cropped = builder.addPage("", "/MediaBox [0 0 612 792] /CropBox [36 36 576 756]");
    struct Case {
        std::string syntax;
        gfx::Rect anchor;
        bool vertical;
    };
    auto on = [](int number, const std::string& rest) { return fmt::format("[{} 0 R {}]", number, rest); };
    const Case cases[] = {
        { on(page, "/XYZ 0 792 null"), { 0, 1, 0, 0 }, true },
        { on(page, "/XYZ 0 792 2"), { 0, 1, 0, 2 }, true },
        { on(page, "/XYZ 306 null null"), { 0.5, 0, 0, 0 }, false },
        { on(page, "/XYZ"), { 0, 0, 0, 0 }, false },
        { on(page, "/FitH 396"), { 0, 0.5, 1, 0.5 }, true },
        { on(page, "/FitH null"), { 0, 0, 0, 0 }, false },
        { on(page, "/FitBH 396"), { 0, 0.5, 1, 0.5 }, true },
        { on(page, "/FitV 306"), { 0.5, 0, 0.5, 1 }, false },
        { on(page, "/Fit"), { 0, 0, 1, 1 }, false },
        { on(page, "/FitB"), { 0, 0, 1, 1 }, false },
        { on(page, "/FitR 153 198 459 594"), { 0.25, 0.75, 0.5, 0.5 }, true },
        { on(page, "/FitR 459 594 153 198"), { 0.25, 0.75, 0.5, 0.5 }, true },
        { on(page, "/FitR 1 2 3"), { 0, 0, 0, 0 }, false },
        { on(page, "/Zoom 1 2 3"), { 0, 0, 0, 0 }, false },
        { on(page, "(XYZ) 1 2"), { 0, 0, 0, 0 }, false },
        // The box's origin is subtracted: the crop box is 540 × 720 at 36.
        { on(cropped, "/XYZ 36 700 0"), { 0, 664.0f / 720, 0, 0 }, true },
        { on(cropped, "/FitH 396"), { 0, 0.5, 1, 0.5 }, true },
        // FitB kinds measure the media box.
        { on(cropped, "/FitBH 396"), { 0, 0.5, 1, 0.5 }, true },
        { on(cropped, "/FitBV 306"), { 0.5, 0, 0.5, 1 }, false },
        { on(cropped, "/FitV 306"), { 0.5, 0, 0.5, 1 }, false },
    };
    for (const Case& c : cases) {
        auto target = destination(builder, c.syntax);
        gfx::Rect anchor = target->anchorRect();
        EXPECT_NEAR(anchor.x(), c.anchor.x(), 1e-6) << c.syntax;
        EXPECT_NEAR(anchor.y(), c.anchor.y(), 1e-6) << c.syntax;
        EXPECT_NEAR(anchor.width(), c.anchor.width(), 1e-6) << c.syntax;
        EXPECT_NEAR(anchor.height(), c.anchor.height(), 1e-6) << c.syntax;
        EXPECT_EQ(target->hasVerticalPosition(), c.vertical) << c.syntax;
        EXPECT_GT(target->pageNumber(), 0) << c.syntax;
    }
}

TEST_F(VKPDFDestinationTest, InvalidDestinations)
{
    core::LogCapture log(true);
    test::PdfBuilder builder;
    int page = builder.addPage("");
    for (const std::string& syntax : { std::string("[5 /XYZ 0 792 0]"), std::string("[]"), std::string("/nowhere"),
             std::string("<< /D [1 /Fit] >>"), std::string("12"), fmt::format("[{} 0 R /Fit]", builder.rootPages()) }) {
        auto target = destination(builder, syntax);
        EXPECT_EQ(target->pageNumber(), 0) << syntax;
        EXPECT_EQ(target->anchorRect(), gfx::Rect::zero()) << syntax;
        EXPECT_TRUE(target->isInvalid()) << syntax;
        EXPECT_FALSE(target->hasVerticalPosition()) << syntax;
        EXPECT_EQ(target->description(), fmt::format("<VKPDFDestination:{} pageNumber=0 anchorRect={{{{0, 0}}, {{0, 0}}}}>", static_cast<const void*>(target.get())));
    }
    auto valid = destination(builder, fmt::format("[{} 0 R /FitH 396]", page));
    EXPECT_EQ(valid->description(), fmt::format("<VKPDFDestination:{} pageNumber=1 anchorRect={{{{0, 0.5}}, {{1, 0.5}}}}>", static_cast<const void*>(valid.get())));
    EXPECT_TRUE(log.lines().empty());
}

// Every page of a nested tree, named, resolves to the page the peer finds
// for the name; one lookup table serves them all.
TEST_F(VKPDFDestinationTest, PageNumbersAsThePeerFindsThem)
{
    test::PdfBuilder builder;
    std::vector<int> pages;
    int parent = 0;
    for (int i = 0; i < 40; ++i) {
        if (i % 7 == 0)
            parent = builder.addPages(i % 14 == 0 ? 0 : parent);
        pages.push_back(builder.addPage(test::PdfBuilder::PageDescription { "/MediaBox [0 0 612 792]", {}, parent }));
    }
    std::vector<std::pair<std::string, std::string>> names;
    for (size_t i = 0; i < pages.size(); ++i)
        names.emplace_back(fmt::format("p{:03}", i), fmt::format("[{} 0 R /XYZ 0 792 0]", pages[i]));
    builder.setNamedDestinations(names, 8);
    std::string path = pathInHome("named.pdf");
    builder.write(path);
    auto document = pdf::Document::open(core::Data(readFile(path)));

    std::istringstream lines(pdftest::run("pdfinfo -dests " + path));
    auto shared = VKPDFPageNumbers::create();
    auto lookup = VKPDFDestination::destinationWithDocumentRef(document, pdf::Object(), shared);
    size_t checked = 0;
    for (std::string line; std::getline(lines, line);) {
        int page = 0;
        char name[16] = {};
        if (std::sscanf(line.c_str(), "%d [ XYZ %*s %*s %*s ] \"%15[^\"]\"", &page, name) != 2)
            continue;
        auto array = lookup->destArrayFromString(pdf::String(name));
        ASSERT_TRUE(array) << name;
        EXPECT_EQ(VKPDFDestination::destinationWithDocumentRef(document, *array, shared)->pageNumber(), page) << name;
        ++checked;
    }
    EXPECT_EQ(checked, pages.size());
}

} // namespace
