// fuzz: tandry_pdf
// Any bytes as a PDF: the text and glyph rectangles of page 1, whose block
// must hold one record per UTF-16 unit.
#include "PDF/VKPDFFontInfo.h"
#include "PDF/VKPDFPageTextScanner.h"
#include "Platform/PDF/Document.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto document = pdf::Document::open(core::Data(data, size));
    if (!document)
        return 0;
    if (document->isLocked() && !document->unlock("user"))
        return 0;
    pdf::Page page = document->page(1);
    if (page) {
        auto scanner = VKPDFPageTextScanner::create(page);
        if (scanner->glyphRects().size() != 16 * scanner->text().size())
            abort();
    }
    VKPDFFontInfo::removeFontInfosForDocument(document->serial());
    return 0;
}
