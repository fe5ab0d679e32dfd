#include "PDF/VKPDFPageAnnotationsParser.h"

#include "PDF/VKPDFDocument.h"
#include "Support/PdfBuilder.h"
#include "Support/TestCase.h"

#include <fmt/format.h>

namespace {

class VKPDFPageAnnotationsParserTest : public test::TestCase {
protected:
    std::shared_ptr<VKPDFPageAnnotationsParser> parse(test::PdfBuilder& builder, int pageNumber = 1)
    {
        m_document = pdf::Document::open(builder.build());
        EXPECT_TRUE(m_document);
        return VKPDFPageAnnotationsParser::initWithPageRef(m_document, m_document->page(pageNumber));
    }

    // The page a point leads to, -1 for a web address, 0 for nothing.
    static int pageAt(const VKPDFPageAnnotationsParser& parser, float x, float y, std::string* url = nullptr)
    {
        auto target = parser.targetForPoint({ x, y });
        if (!target)
            return 0;
        if (auto* destination = std::get_if<std::shared_ptr<VKPDFDestination>>(&*target))
            return (*destination)->pageNumber();
        if (url)
            *url = std::get<core::URL>(*target).absoluteString();
        return -1;
    }

    std::shared_ptr<pdf::Document> m_document;
};

TEST_F(VKPDFPageAnnotationsParserTest, Targets)
{
    test::PdfBuilder builder;
    int first = builder.addPage(""), second = builder.addPage(""), third = builder.addPage("");
    builder.setCatalogEntry("Dests", fmt::format("<< /there [{} 0 R /Fit] >>", third));
    auto link = [&](const std::string& rect, const std::string& rest) {
        builder.addAnnotation(first, fmt::format("<< /Type /Annot /Subtype /Link /Rect [{}] {} >>", rect, rest));
    };
    link("0 0 10 10", "/A << /S /URI /URI (http://example.com/a?b=c) >>");
    link("20 0 30 10", "/A << /S /GoTo /D /there >>");
    link("40 0 50 10", fmt::format("/Dest [{} 0 R /Fit]", second));
    link("60 0 70 10", fmt::format("/A << /S /Launch /F (x.pdf) >> /Dest [{} 0 R /Fit]", second));
    link("90 10 80 0", fmt::format("/Dest [{} 0 R /Fit]", third)); // inverted corners
    link("100 0 120 10", fmt::format("/Dest [{} 0 R /Fit]", second)); // overlapping: the first wins
    link("110 0 130 10", fmt::format("/Dest [{} 0 R /Fit]", third));
    link("/a 20 150 30", fmt::format("/Dest [{} 0 R /Fit]", third)); // a corner that is no number counts 0
    link("200 0 210", fmt::format("/Dest [{} 0 R /Fit]", second)); // three numbers
    link("220 0 230 10", "/A << /S /URI /URI 5 >>");
    link("240 0 250 10", "/A << /S /URI /URI (not a url) >>");
    link("260 0 270 10", "/A << /URI (http://example.com/) >>");
    link("280 0 290 10", "");
    builder.addAnnotation(first, fmt::format("<< /Subtype /Text /Rect [300 0 310 10] /Dest [{} 0 R /Fit] >>", second));
    builder.addAnnotation(first, "(not a dictionary)");
    builder.addAnnotation(first, fmt::format("<< /Subtype /Link /Dest [{} 0 R /Fit] >>", second)); // no Rect

    auto parser = parse(builder);
    std::string url;
    EXPECT_EQ(pageAt(*parser, 5, 5, &url), -1);
    EXPECT_EQ(url, "http://example.com/a?b=c");
    EXPECT_EQ(pageAt(*parser, 25, 5), 3);
    EXPECT_EQ(pageAt(*parser, 45, 5), 2);
    EXPECT_EQ(pageAt(*parser, 65, 5), 0);
    EXPECT_EQ(pageAt(*parser, 85, 5), 3);
    EXPECT_EQ(pageAt(*parser, 115, 5), 2);
    EXPECT_EQ(pageAt(*parser, 125, 5), 3);
    EXPECT_EQ(pageAt(*parser, 140, 25), 3);
    EXPECT_EQ(pageAt(*parser, 140, 5), 0);
    for (float x : { 205, 225, 245, 265, 285, 305 })
        EXPECT_EQ(pageAt(*parser, x, 5), 0) << x;
    EXPECT_EQ(pageAt(*parser, 5, 15), 0);
    EXPECT_EQ(parser->linkAnnotations().size(), 7u);
    // Stored as the file gives the corners.
    EXPECT_EQ(parser->linkAnnotations()[3]->rect(), gfx::Rect(90, 10, -10, -10));

    // Descriptions name the links and their targets.
    std::string description = parser->description();
    EXPECT_NE(description.find("{{0, 0}, {10, 10}} http://example.com/a?b=c"), std::string::npos) << description;
    EXPECT_NE(description.find("pageNumber=2"), std::string::npos) << description;
}

TEST_F(VKPDFPageAnnotationsParserTest, NoLinks)
{
    test::PdfBuilder builder;
    builder.addPage("", "/MediaBox [0 0 612 792] /Annots 5");
    builder.addPage("", "/MediaBox [0 0 612 792] /Annots << /Subtype /Link >>");
    builder.addPage("");
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(parse(builder, page)->linkAnnotations().empty()) << page;
    EXPECT_TRUE(VKPDFPageAnnotationsParser::initWithPageRef(m_document, pdf::Page())->linkAnnotations().empty());
    EXPECT_FALSE(VKPDFPageAnnotationsParser::initWithPageRef(m_document, pdf::Page())->targetForPoint({ 1, 1 }));
}

TEST_F(VKPDFPageAnnotationsParserTest, RealFiles)
{
    auto ghostscript = VKPDFDocument::initWithPath(sourcePath("tests/fixtures/pdf/ghostscript.pdf"));
    ASSERT_TRUE(ghostscript);
    auto parser = VKPDFPageAnnotationsParser::initWithPageRef(ghostscript->documentRef(), ghostscript->documentRef()->page(1));
    ASSERT_EQ(parser->linkAnnotations().size(), 2u);
    std::string url;
    EXPECT_EQ(pageAt(*parser, 100, 575), 2);
    EXPECT_EQ(pageAt(*parser, 100, 535, &url), -1);
    EXPECT_EQ(url, "http://example.com/");

    auto writer = VKPDFDocument::initWithPath(sourcePath("tests/fixtures/pdf/writer.pdf"));
    ASSERT_TRUE(writer);
    parser = VKPDFPageAnnotationsParser::initWithPageRef(writer->documentRef(), writer->documentRef()->page(1));
    ASSERT_EQ(parser->linkAnnotations().size(), 2u);
    for (const auto& link : parser->linkAnnotations()) {
        gfx::Rect rect = link->rect();
        auto target = parser->targetForPoint({ rect.midX(), rect.midY() });
        ASSERT_TRUE(target);
        if (auto* destination = std::get_if<std::shared_ptr<VKPDFDestination>>(&*target)) {
            EXPECT_EQ((*destination)->pageNumber(), 1);
            EXPECT_TRUE((*destination)->hasVerticalPosition());
        } else {
            EXPECT_EQ(std::get<core::URL>(*target).absoluteString(), "http://example.com/");
        }
    }
}

} // namespace
