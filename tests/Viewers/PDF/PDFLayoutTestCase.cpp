#include "PDFLayoutTestCase.h"

#include "Platform/UI/TiledLayer.h"
#include "Support/PdfBuilder.h"
#include "Viewers/PDF/VKPDFPageView.h"

#include "PDF/VKPDFPage.h"

namespace test {

gfx::Size LayoutDataSource::documentViewSizeForPageAtIndex(VKDocumentView&, size_t index)
{
    ++sizesAsked;
    if (document)
        return document->pageGeometry(uint32_t(index)).rotatedBox.size;
    return index < sizes.size() ? sizes[index] : gfx::Size {};
}

std::shared_ptr<ui::View> LayoutDataSource::documentViewViewForPageAtIndex(VKDocumentView&, size_t index)
{
    viewsMade.push_back(index);
    std::shared_ptr<ui::View> view;
    if (document) {
        view = VKPDFPageView::pageViewWithPage(VKPDFPage::pageWithDocument(document, int(index) + 1));
    } else {
        view = ui::View::create();
        view->setBackgroundColor(gfx::Color::white(1));
    }
    madeViews.push_back(view);
    return view;
}

core::Data textDocument(int count, const std::string& mediaBox, const std::string& extra)
{
    PdfBuilder builder;
    int font = builder.addStandardFont("Helvetica");
    for (int i = 0; i < count; ++i) {
        std::string content = "BT /F1 24 Tf 72 700 Td (Page " + std::to_string(i + 1) + " of the document) Tj ET "
                              "BT /F1 12 Tf 72 640 Td (The quick brown fox jumps over the lazy dog.) Tj "
                              "0 -16 Td (Pack my box with five dozen liquor jugs.) Tj ET "
                              "0 0 1 rg 72 72 100 100 re f";
        builder.addPage(content, "/MediaBox [" + mediaBox + "] /Resources << /Font << /F1 " + std::to_string(font)
                + " 0 R >> >> " + extra);
    }
    return builder.build();
}

void PDFLayoutTestCase::SetUp()
{
    UITestCase::SetUp();
}

void PDFLayoutTestCase::TearDown()
{
    VKPDFPageView::setDrawHookForTesting(nullptr);
    UITestCase::TearDown();
}

} // namespace test
