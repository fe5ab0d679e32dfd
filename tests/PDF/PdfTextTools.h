#pragma once

// Documents with fonts for the text extraction tests, and the extraction of
// one page as UTF-8 text with its rectangles.

#include "PDF/VKPDFPageTextScanner.h"
#include "Platform/Core/UTF8.h"
#include "Platform/PDF/Document.h"
#include "Support/PdfBuilder.h"
#include "Support/PdfFontPrograms.h"

#include <fmt/format.h>

#include <cstring>
#include <string>
#include <vector>

namespace pdftext {

// A simple font whose 256 codes all advance 600 units, ascent 750, descent
// −250, with WinAnsiEncoding unless `entries` says otherwise.
inline int addMonoFont(test::PdfBuilder& builder, const std::string& entries = "/Encoding /WinAnsiEncoding",
    const std::string& subtype = "TrueType")
{
    int descriptor = builder.addObject("<< /Type /FontDescriptor /FontName /Mono /Flags 32 /FontBBox [0 -250 600 750] "
                                       "/ItalicAngle 0 /Ascent 750 /Descent -250 /StemV 80 >>");
    std::string widths;
    for (int i = 0; i < 256; ++i)
        widths += i ? " 600" : "600";
    return builder.addObject(fmt::format("<< /Type /Font /Subtype /{} /BaseFont /Mono /FirstChar 0 /LastChar 255 "
                                         "/Widths [{}] /FontDescriptor {} 0 R {} >>",
        subtype, widths, descriptor, entries));
}

// "/MediaBox [...] /Resources << /Font << /F1 n 0 R ... >> >>" for fonts F1, F2, ...
inline std::string pageEntries(const std::vector<int>& fonts, const std::string& extra = "/MediaBox [0 0 612 792]")
{
    std::string list;
    for (size_t i = 0; i < fonts.size(); ++i)
        list += fmt::format(" /F{} {} 0 R", i + 1, fonts[i]);
    return fmt::format("{} /Resources << /Font <<{} >> >>", extra, list);
}

// A ToUnicode stream mapping one-byte or two-byte codes to UTF-16BE hex.
inline int addToUnicode(test::PdfBuilder& builder, const std::string& body)
{
    return builder.addStream("", "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n" + body
            + "\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
}

// A simple Type 1 font whose program, embedded as a CFF (FontFile3
// /Type1C) or Type 1 (FontFile) program, has `builtIn` as its own encoding;
// every code advances 500 units. `entries` adds to the font dictionary
// ("/Encoding ..."); `program` replaces the program's bytes when given.
enum class ProgramKind { CFF, Type1 };
inline int addEmbeddedFont(test::PdfBuilder& builder, ProgramKind kind, const test::PdfFontPrograms::Encoding& builtIn,
    const std::string& entries = {}, const std::string* program = nullptr)
{
    int file;
    if (kind == ProgramKind::CFF) {
        file = builder.addStream("/Subtype /Type1C", program ? *program : test::PdfFontPrograms::cff(builtIn));
    } else {
        auto type1 = test::PdfFontPrograms::type1(builtIn);
        file = builder.addStream(fmt::format("/Length1 {} /Length2 {} /Length3 {}", type1.length1, type1.length2, type1.length3),
            program ? *program : type1.bytes);
    }
    int descriptor = builder.addObject(fmt::format("<< /Type /FontDescriptor /FontName /Embedded /Flags 4 "
                                                   "/FontBBox [0 -250 1000 750] /ItalicAngle 0 /Ascent 750 /Descent -250 "
                                                   "/StemV 80 /{} {} 0 R >>",
        kind == ProgramKind::CFF ? "FontFile3" : "FontFile", file));
    std::string widths;
    for (int i = 0; i < 256; ++i)
        widths += i ? " 500" : "500";
    return builder.addObject(fmt::format("<< /Type /Font /Subtype /Type1 /BaseFont /Embedded /FirstChar 0 /LastChar 255 "
                                         "/Widths [{}] /FontDescriptor {} 0 R {} >>",
        widths, descriptor, entries));
}

struct Extracted {
    std::string text;
    std::vector<gfx::Rect> rects;
    size_t blockBytes = 0;
    size_t units = 0;
};

inline Extracted extract(const pdf::Page& page)
{
    auto scanner = VKPDFPageTextScanner::create(page);
    Extracted result;
    const std::u16string& text = scanner->text();
    const core::Data& block = scanner->glyphRects();
    result.text = core::toUTF8(text);
    result.units = text.size();
    result.blockBytes = block.size();
    for (size_t offset = 0; offset + 16 <= block.size(); offset += 16) {
        float record[4];
        std::memcpy(record, block.bytes() + offset, sizeof record);
        result.rects.emplace_back(record[0], record[1], record[2], record[3]);
    }
    return result;
}

inline std::shared_ptr<pdf::Document> open(test::PdfBuilder& builder)
{
    return pdf::Document::open(builder.build());
}

// The text of page `number` of a built document.
inline Extracted extract(test::PdfBuilder& builder, int number = 1)
{
    auto document = open(builder);
    return document ? extract(document->page(number)) : Extracted();
}

} // namespace pdftext
