#pragma once

// The decoder of one-byte fonts (every subtype but Type0): a 256-entry
// table of texts and one of advance widths. The texts come from the font's
// encoding (a named base encoding, Differences through glyph names, the
// built-in encoding of its embedded Type 1 or CFF program where it names
// none, or of a standard font) and then its ToUnicode map.
//
// The process-wide tables live in the bundle: "encodings" (plist; encoding
// name -> 256 texts), "core14" (a plist for each standard font: its metrics
// and built-in encoding) and "glyphlist" (SQLite; glyph name -> text). The
// plists are read on first use and kept; glyph-name lookups are cached, and a
// memory warning drops that cache and closes the database until the next miss.

#include "PDF/VKPDFFontInfo.h"

#include <array>
#include <optional>
#include <unordered_map>

class VKPDFSimpleFontInfo : public VKPDFFontInfo {
public:
    using EncodingTable = std::array<std::u16string, 256>;

    struct StandardFontMetrics {
        float ascent = 0;
        float descent = 0;
        // By code of the built-in encoding.
        std::array<float, 256> widths {};
        EncodingTable encoding;
        // By glyph text, for codes of other encodings.
        std::unordered_map<std::u16string, float> glyphWidths;
    };

    // Nothing (logged) when the font has neither Widths nor BaseFont.
    static std::shared_ptr<VKPDFSimpleFontInfo> fontInfoWithFontDictionary(const pdf::Dictionary& font);

    // A copy of the named table of "encodings", or nothing.
    static std::optional<EncodingTable> encodingTableForName(std::string_view name);
    // The "core14" entry of a standard font (a few common other names of
    // those fonts are taken too), or nothing. Kept for the process.
    static const StandardFontMetrics* metricsForStandardFontName(std::string_view name);
    // The text of a glyph name: the algorithmic forms (uniXXXX…, uXXXX to
    // uXXXXXX, name.suffix, a_b ligatures) directly, the others through the
    // glyph list; nothing when unknown.
    static std::optional<std::u16string> stringForGlyphName(std::string_view name);
    // The text of a glyph name in a font: outside the dingbats font a name of
    // "a" and a number up to 255 (/a33) is the character of that code (none
    // for control codes), not the dingbat the glyph list gives it.
    static std::optional<std::u16string> stringForGlyphName(std::string_view name, bool dingbatsFont);

    static void setMemoryWarningsActive(bool active);
    static void didReceiveMemoryWarningNotification();
    // Opens of the glyph-list database in this process (the benchmark
    // counts them) and the names now cached.
    static uint64_t glyphListOpenCountForTesting();
    static size_t cachedGlyphNameCountForTesting();

    void parseEncodingObject(const pdf::Object& encoding);
    void parseWidthsArray(const pdf::Array& widths, int64_t firstChar, float missingWidth);
    void setupFromStandardFontName(std::string_view name);

    const EncodingTable& encodingTable() const { return m_encodingTable; }
    float widthForCode(uint8_t code) const { return m_widths[code]; }

    void setCharacterString(std::u16string text, uint32_t code) override;
    void processTextString(std::string_view bytes, VKPDFPageScanner& delegate) const override;

    struct Private;
    explicit VKPDFSimpleFontInfo(const Private&);

protected:
    uint32_t maximumCode() const override { return 255; }

private:
    // The text shown for a code: compatibility forms unfolded and composed
    // (NFKC; a spacing accent stays for the page text to join, typographic
    // marks stay as drawn).
    void updateShownText(size_t code);

    EncodingTable m_encodingTable;
    bool m_hasEncodingTable = false;
    // Whether the font is the dingbats font, whose glyph names are its own.
    bool m_dingbats = false;
    EncodingTable m_shownText;
    std::array<float, 256> m_widths {};
};
