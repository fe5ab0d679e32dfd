#include "PDF/VKPDFOutlineScanner.h"

#include "PDF/VKPDFDocument.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>

using Item = test::PdfBuilder::OutlineItem;

namespace {

class VKPDFOutlineScannerTest : public test::TestCase {
protected:
    // Ten pages; `items` lead to pages by number through `to`.
    VKPDFOutlineScannerTest()
    {
        for (int i = 0; i < 10; ++i)
            m_pages.push_back(m_builder.addPage(""));
    }

    std::string to(int page) const { return fmt::format("[{} 0 R /Fit]", m_pages[size_t(page) - 1]); }

    std::shared_ptr<VKPDFOutlineScanner> scan()
    {
        m_document = pdf::Document::open(m_builder.build());
        EXPECT_TRUE(m_document);
        return VKPDFOutlineScanner::initWithDocumentRef(m_document);
    }

    // The chain as the viewer shows it: outermost title first, one a line.
    static std::string titles(const VKPDFOutlineScanner& scanner, uint32_t page)
    {
        std::string text;
        for (auto link = scanner.outlinesForPageNumber(page); link; link = link->stringChain())
            text = text.empty() ? link->concreteString() : link->concreteString() + "\n" + text;
        return text;
    }

    test::PdfBuilder m_builder;
    std::vector<int> m_pages;
    std::shared_ptr<pdf::Document> m_document;
};

TEST_F(VKPDFOutlineScannerTest, ChainsByPage)
{
    m_builder.setOutline({
        { "One", to(2), "", { { "One.A", to(3), "", { { "One.A.i", to(4), "", {} } } } } },
        { "Two", to(7), "", {} },
    });
    auto scanner = scan();
    EXPECT_EQ(titles(*scanner, 1), "");
    EXPECT_EQ(titles(*scanner, 2), "One");
    EXPECT_EQ(titles(*scanner, 3), "One\nOne.A");
    EXPECT_EQ(titles(*scanner, 4), "One\nOne.A\nOne.A.i");
    EXPECT_EQ(titles(*scanner, 6), "One\nOne.A\nOne.A.i");
    EXPECT_EQ(titles(*scanner, 7), "Two");
    EXPECT_EQ(titles(*scanner, 100), "Two");
    EXPECT_EQ(scanner->maxDepth(), 3u);
    EXPECT_EQ(scanner->outlinesForPageNumber(4)->chainLength(), 3u);
}

TEST_F(VKPDFOutlineScannerTest, ItemsSharingAPage)
{
    m_builder.setOutline({
        // The parent keeps page 2; its first section is carried to 3 and
        // entered there when page 5 comes up.
        { "A", to(2), "", { { "A.1", to(2), "", {} } } },
        // A tie keeps the earlier; the later one is entered at the end.
        { "B", to(5), "", { { "B.1", to(6), "", {} }, { "B.2", to(6), "", {} } } },
        // Less deeply nested and later: it takes the page and carries on.
        { "C", to(8), "", { { "C.1", to(9), "", {} } } },
        { "D", to(9), "", {} },
    });
    auto scanner = scan();
    EXPECT_EQ(titles(*scanner, 2), "A");
    EXPECT_EQ(titles(*scanner, 3), "A\nA.1");
    EXPECT_EQ(titles(*scanner, 4), "A\nA.1");
    EXPECT_EQ(titles(*scanner, 5), "B");
    EXPECT_EQ(titles(*scanner, 6), "B\nB.1");
    EXPECT_EQ(titles(*scanner, 7), "B\nB.2");
    EXPECT_EQ(titles(*scanner, 8), "C");
    EXPECT_EQ(titles(*scanner, 9), "D");
    EXPECT_EQ(titles(*scanner, 10), "D");
}

TEST_F(VKPDFOutlineScannerTest, CarriedChainReplacesTheNextPagesEntry)
{
    // E.2 runs on at the top of page 4, so page 4 shows it although F
    // starts there too.
    m_builder.setOutline({ { "E", to(3), "", { { "E.2", to(3), "", {} } } }, { "F", to(4), "", {} }, { "G", to(5), "", {} } });
    auto scanner = scan();
    EXPECT_EQ(titles(*scanner, 3), "E");
    EXPECT_EQ(titles(*scanner, 4), "E\nE.2");
    EXPECT_EQ(titles(*scanner, 5), "G");
}

TEST_F(VKPDFOutlineScannerTest, UntitledAndInvalidItems)
{
    // Items written by hand: an untitled item with a destination stores
    // nothing and hides its parent from its children; items leading nowhere
    // are skipped rather than indexed at page 0 and carried onto page 1.
    int root = m_builder.addObject("<< >>");
    int bad1 = m_builder.addObject("<< >>"), bad2 = m_builder.addObject("<< >>"), real = m_builder.addObject("<< >>");
    int parent = m_builder.addObject("<< >>"), untitled = m_builder.addObject("<< >>"), child = m_builder.addObject("<< >>");
    int last = m_builder.addObject("<< >>");
    m_builder.setObject(root, fmt::format("<< /Type /Outlines /First {} 0 R >>", bad1));
    m_builder.setObject(bad1, fmt::format("<< /Title (Bad 1) /Dest [99 /Fit] /Next {} 0 R >>", bad2));
    m_builder.setObject(bad2, fmt::format("<< /Title (Bad 2) /Dest /nowhere /Next {} 0 R >>", real));
    m_builder.setObject(real, fmt::format("<< /Title (Real) /Dest {} /Next {} 0 R >>", to(1), parent));
    m_builder.setObject(parent, fmt::format("<< /Title (Parent) /Dest {} /First {} 0 R /Next {} 0 R >>", to(3), untitled, last));
    m_builder.setObject(untitled, fmt::format("<< /Dest {} /First {} 0 R >>", to(4), child));
    m_builder.setObject(child, fmt::format("<< /Title (Child) /Dest {} >>", to(5)));
    m_builder.setObject(last, fmt::format("<< /Title (Last) /A << /S /GoTo /D {} >> >>", to(7)));
    m_builder.setCatalogEntry("Outlines", fmt::format("{} 0 R", root));
    auto scanner = scan();
    EXPECT_EQ(titles(*scanner, 1), "Real");
    EXPECT_EQ(titles(*scanner, 2), "Real");
    EXPECT_EQ(titles(*scanner, 3), "Parent");
    EXPECT_EQ(titles(*scanner, 4), "Parent");
    EXPECT_EQ(titles(*scanner, 5), "Child");
    EXPECT_EQ(titles(*scanner, 7), "Last");
    EXPECT_EQ(scanner->outlinesForPageNumber(0), nullptr);
    EXPECT_EQ(scanner->maxDepth(), 3u);
}

TEST_F(VKPDFOutlineScannerTest, NoOutline)
{
    auto scanner = scan();
    EXPECT_EQ(scanner->outlinesForPageNumber(1), nullptr);
    EXPECT_EQ(scanner->maxDepth(), 0u);
    EXPECT_EQ(VKPDFOutlineScanner::initWithDocumentRef(nullptr)->outlinesForPageNumber(1), nullptr);
}

TEST_F(VKPDFOutlineScannerTest, LoopsAndDepth)
{
    int root = m_builder.addObject("<< >>"), a = m_builder.addObject("<< >>"), b = m_builder.addObject("<< >>");
    m_builder.setObject(root, fmt::format("<< /First {} 0 R /Next {} 0 R >>", a, root));
    m_builder.setObject(a, fmt::format("<< /Title (A) /Dest {} /Next {} 0 R /First {} 0 R >>", to(2), b, root));
    m_builder.setObject(b, fmt::format("<< /Title (B) /Dest {} /Next {} 0 R /First {} 0 R >>", to(4), a, b));
    m_builder.setCatalogEntry("Outlines", fmt::format("{} 0 R", root));
    auto scanner = scan();
    EXPECT_EQ(titles(*scanner, 3), "A");
    EXPECT_EQ(titles(*scanner, 4), "B");
    EXPECT_EQ(scanner->maxDepth(), 1u);
}

TEST_F(VKPDFOutlineScannerTest, RealFile)
{
    auto document = VKPDFDocument::initWithPath(sourcePath("tests/fixtures/pdf/ghostscript.pdf"));
    ASSERT_TRUE(document);
    auto scanner = VKPDFOutlineScanner::initWithDocumentRef(document->documentRef());
    auto list = document->outlineList();
    ASSERT_TRUE(list);
    std::string first = (*list)[0]->at("Title").string(), second = (*list)[1]->at("Title").string();
    EXPECT_EQ(titles(*scanner, 1), first);
    EXPECT_EQ(titles(*scanner, 2), first + "\n" + second);
}

} // namespace
