#pragma once

// Font decoders for text extraction: a shown PDF string is a run of codes
// whose meaning depends on the font; a decoder turns each code into its
// Unicode text and glyph box and hands both to the page scanner. This is the
// base (descriptor metrics, ToUnicode maps) and the process-wide cache of
// decoders, one per font object. No glyph outlines are read.
//
// Texts are UTF-16 (`std::u16string`), as the page text they end up in.
// Cached decoders hold only their own tables, never a handle on the
// document, so they keep no document alive; the cache is keyed by document
// serial and object identity, and a closing document drops its decoders.

#include "PDF/VKPDFMatrix.h"
#include "Platform/Core/Object.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/PDF/Dictionary.h"
#include "Platform/PDF/Scanner.h"
#include "Platform/PDF/Stream.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

class VKPDFPageScanner;

class VKPDFFontInfo : public core::Object {
public:
    // ToUnicode streams longer than this once decoded are ignored.
    static constexpr size_t kMaximumToUnicodeBytes = size_t(4) << 20;

    // The decoder of the font resource `name` of the page that `scanner`
    // walks, made once per font object and cached; nothing when the font
    // cannot be decoded.
    static std::shared_ptr<VKPDFFontInfo> fontInfoForName(std::string_view name, const pdf::Scanner& scanner);
    // A new decoder for a font dictionary, by its Subtype; not cached.
    static std::shared_ptr<VKPDFFontInfo> fontInfoWithFontDictionary(const pdf::Dictionary& font);

    // Drops the cached decoders of a closing document.
    static void removeFontInfosForDocument(uint64_t documentSerial);
    static size_t cachedFontInfoCountForTesting();
    // Decoders made in this process (the benchmark counts them).
    static uint64_t fontInfoCreationCountForTesting();

    // In glyph units (thousandths of text space).
    float ascent() const { return m_ascent; }
    float descent() const { return m_descent; }
    // The width of the font's space in glyph units: its space glyph's when
    // it has one, else half its glyphs' mean width (bitmap and TeX fonts
    // draw no space), kept between 100 and 700. Words are told apart by it.
    float spaceWidth() const { return m_spaceWidth; }

    // Ascent and Descent; FontBBox [1] and [3] when either is 0.
    void parseDescriptorDictionary(const pdf::Dictionary& descriptor);
    // Maps every bfchar and bfrange entry of a ToUnicode CMap through
    // setCharacterString(); a stream over the limit is ignored (logged).
    void parseToUnicodeStream(const pdf::Stream& stream);
    // The font's ToUnicode entry, when it has one: a stream is parsed,
    // anything else is logged and ignored.
    void parseToUnicodeEntry(const pdf::Dictionary& font);

    // Replaces the text of one code; codes outside the font's code space
    // are logged and ignored.
    virtual void setCharacterString(std::u16string text, uint32_t code) = 0;
    // Calls the scanner's processCharacterString() once per decoded
    // character of the string's bytes.
    virtual void processTextString(std::string_view bytes, VKPDFPageScanner& delegate) const = 0;
    // The bytes of one code.
    virtual size_t bytesPerCode() const { return 1; }

protected:
    VKPDFFontInfo() = default;

    // The largest code of the font's code space.
    virtual uint32_t maximumCode() const = 0;
    // The glyph box in unscaled text space for an advance width in glyph
    // units: (0, descent/1000, width/1000, (ascent - descent)/1000). Its
    // bottom and height are the font's, worked out once for a whole string.
    struct GlyphBox {
        float bottom = 0;
        float height = 0;
        gfx::Rect rect(float width) const { return gfx::Rect(0, bottom, vkPDFNarrow(double(width) * 0.001), height); }
    };
    GlyphBox glyphBox() const;
    static void logIllegalCode(uint32_t code);
    // Sets the space width from the width of a space glyph (0 when none)
    // and the glyphs' mean width (0 when none is known).
    void setSpaceWidth(float spaceGlyphWidth, float meanWidth);

    // Guards every cache of the font classes and the glyph-list statement.
    // Never held while a document is read.
    static std::mutex& cacheLock();
    static void countCreation();

    float m_ascent = 0;
    float m_descent = 0;
    float m_spaceWidth = 250;
};
