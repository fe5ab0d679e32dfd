// fuzz: tandry_pdf
// Any bytes as a PDF: open, count, read every box, scan page 1 popping every
// operand type the text scanner asks for, draw page 1 small; list the
// outline, index it by page, and resolve every link of page 1.
#include "PDF/VKPDFDocument.h"
#include "PDF/VKPDFOutlineScanner.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFPageAnnotationsParser.h"
#include "Platform/Core/Localized.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/PDF/Document.h"
#include "Platform/PDF/PageDrawing.h"
#include "Platform/PDF/Scanner.h"
#include "Platform/PDF/Stream.h"

#include <cstddef>
#include <cstdint>

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpoppler.so\nleak:libpoppler-glib.so\nleak:libcairo.so\n";
}

namespace {

void popEverything(pdf::Scanner& scanner, void*)
{
    double number;
    std::string name;
    pdf::String string;
    pdf::Array array;
    pdf::Object object;
    scanner.popNumber(number);
    if (scanner.popName(name)) {
        pdf::Object font;
        pdf::Dictionary dictionary;
        if (scanner.resource("Font", name, font) && font.dictionary(dictionary)) {
            pdf::Stream map;
            if (dictionary.stream("ToUnicode", map))
                map.decodedData(1 << 20);
        }
    }
    if (scanner.popString(string))
        string.text();
    if (scanner.popArray(array)) {
        for (size_t i = 0; i < array.count() && i < 64; ++i) {
            array.string(i, string);
            array.number(i, number);
        }
    }
    while (scanner.popObject(object))
        object.type();
}

const pdf::OperatorTable& table()
{
    static const pdf::OperatorTable shared = [] {
        pdf::OperatorTable table;
        for (const char* name : { "BT", "cm", "q", "Q", "T*", "Tc", "Td", "TD", "Tf", "Tj", "TJ", "TL", "Tm", "Ts", "Tw", "Tz", "'", "\"" })
            table.setCallback(name, popEverything);
        return table;
    }();
    return shared;
}

// Every destination the outline and the links of page 1 give, resolved.
void navigate(const VKPDFDocument& opened)
{
    const auto& document = opened.documentRef();
    if (auto list = opened.outlineList()) {
        for (const VKPDFOutlineEntry& entry : *list) {
            auto target = entry->find("Target");
            if (target != entry->end())
                target->second.objectAs<VKPDFDestination>()->description();
        }
    }
    auto scanner = VKPDFOutlineScanner::initWithDocumentRef(document);
    for (int n = 0; n <= document->pageCount() + 1 && n <= 100; ++n)
        scanner->outlinesForPageNumber(uint32_t(n));
    auto links = VKPDFPageAnnotationsParser::initWithPageRef(document, document->page(1), opened.pageNumbers());
    for (const auto& link : links->linkAnnotations())
        link->description();
    links->targetForPoint({ 100, 100 });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Error texts are looked up in English, without a settings store.
    static const bool english = (core::setCurrentLanguage("en"), true);
    (void)english;
    auto opened = VKPDFDocument::initWithData(core::Data(data, size), std::string("user"));
    if (!opened)
        return 0;
    navigate(*opened);
    pdf::Document* document = opened->documentRef().get();
    int count = document->pageCount();
    for (int n = 1; n <= count && n <= 100; ++n) {
        pdf::Page page = document->page(n);
        for (pdf::Box box : { pdf::Box::Media, pdf::Box::Crop, pdf::Box::Bleed, pdf::Box::Trim, pdf::Box::Art })
            page.boxRect(box);
        page.rotationAngle();
    }
    pdf::Page first = document->page(1);
    if (!first)
        return 0;
    pdf::Scanner scanner(first, table(), nullptr);
    scanner.scan();
    auto bitmap = gfx::BitmapContext::create(50, 50);
    bitmap->concatCTM(first.drawingTransform(pdf::Box::Crop, gfx::Rect(0, 0, 50, 50), 0, true));
    pdf::drawPage(first, *bitmap);
    VKPDFPageCreateThumbnail(first, 20, true);
    return 0;
}
