#pragma once

// The text of one page and the rectangle of each of its UTF-16 units: the
// page scanner's characters joined in content order, with one space
// inserted where a character starts another line, follows a gap wider than
// half the font's space (beyond its letter spacing), or starts left of the previous
// one by more than a space (a new column, a line set from its right end
// first). The page text starts with its first character, and accents drawn
// as glyphs of their own over a letter become part of it, composed (NFC),
// so that "ü" set as u and a diaeresis reads and searches as ü.
//
// Lines and gaps are judged along the baseline of the text, not in page
// space nor in the page's shown orientation: gaps between the glyphs'
// advances along it, lines by where the baselines lie, whatever a font's
// descent. So a line drawn across a turned page, turned or slanted on an
// upright one, still reads as words, and a bracket from a symbol font
// stays with its word.
//
// A span's actual text stands in for the glyphs it covers, placed where
// they are, its units sharing their extent along the baseline.
//
// Lines holding right-to-left letters (set from left to right as shown) are
// put into reading order once the page is read, their rectangles moving
// with their units (VKPDFTextDirection), so the text and its search read
// as typed.
//
// The rectangles form a packed block of 16-byte records (x, y, width,
// height as 32-bit floats in machine order, page space), one per UTF-16
// unit of the text; inserted spaces have the zero rectangle. The page
// index store keeps the block as it is and the page view reads it.

#include "PDF/VKPDFPageScanner.h"
#include "Platform/Core/Data.h"

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class VKPDFPageTextScanner : public VKPDFPageScanner {
public:
    static std::shared_ptr<VKPDFPageTextScanner> create(const pdf::Page& page);
    static std::shared_ptr<VKPDFPageTextScanner> create(const VKPDFPage& page);

    // Each scans the page first when it has not been scanned.
    const std::u16string& text();
    const core::Data& glyphRects();

    void scan() override;

    // Appends the text and one copy of the rectangle per UTF-16 unit of it.
    void addString(std::u16string_view text, gfx::Rect renderRect);

    using VKPDFPageScanner::processCharacterString;
    void processCharacterString(const std::u16string& text, gfx::Rect renderRect) override;
    bool beginActualText(std::u16string text) override;
    void endActualText() override;

    // The actual text one page's spans may add, all together: beyond it
    // spans read as their glyphs, so a span drawn a million times costs
    // no more than its glyphs.
    static constexpr size_t kMaximumActualTextUnits = size_t(1) << 20;

protected:
    explicit VKPDFPageTextScanner(const pdf::Page& page);

private:
    // A character as placed: its page-space rectangle, and its box in the
    // frame of its baseline (x along it from the glyph's origin over its
    // advance, y across it), with the baseline's place across. Its text
    // travels beside it.
    struct Placed {
        gfx::Rect renderRect;
        gfx::Rect upright;
        float baseline = 0;
        // The height of an em along the baseline's normal.
        float em = 0;
        // The gap along the baseline after it that makes a space: half
        // the font's space at its size (a third of an em at most), beyond
        // the letter spacing; beside wide East Asian characters, half the
        // font's own space.
        float wordGap = 0;
        float wideWordGap = 0;
        // The baseline's direction in page space, for sharing a span's
        // extent among its units.
        float cosine = 1, sine = 0;
    };

    // A span with actual text: its text and the extent of its glyphs.
    struct Span {
        std::u16string text;
        Placed covered;
        bool hasGlyphs = false;
    };

    // The character being shown, as placed.
    Placed placed(gfx::Rect renderRect) const;
    // Appends a character after the space its position calls for; with
    // `shared`, its units divide its extent along the baseline.
    void append(const Placed& character, std::u16string_view text, bool shared = false);
    // The last character's text: what the text holds from its first unit.
    std::u16string_view lastText() const { return std::u16string_view(m_text).substr(m_lastStart); }
    // Notes the line just ended for reordering when it holds right-to-left
    // letters.
    void endLine();
    // An accent that found no letter is kept as the character it is.
    void flushPendingAccent();
    // Whether the accent sits over the letter.
    static bool isOver(const Placed& accent, const Placed& letter);

    bool m_scanned = false;
    std::u16string m_text;
    // The rectangles' records so far: the first m_rectCount of the bytes,
    // which grow ahead of them.
    std::string m_rectBytes;
    size_t m_rectCount = 0;
    core::Data m_glyphRects;
    bool m_previousCharacterWhitespace = false;
    gfx::Rect m_previousRotatedRenderRect;
    float m_previousBaseline = 0;
    float m_previousWordGap = 0;
    float m_previousWideWordGap = 0;
    bool m_previousWide = false;
    bool m_zeroHeightLogged = false;
    // The last character appended (its first unit in the text), which a
    // following accent may join.
    Placed m_last;
    size_t m_lastStart = 0;
    bool m_hasLast = false;
    // An accent drawn before its letter (a single unit), waiting for it.
    Placed m_pendingAccent;
    char16_t m_pendingAccentUnit = 0;
    bool m_hasPendingAccent = false;
    Span m_span;
    size_t m_actualTextBudget = 0;
    // The line being assembled (from its first unit), and the lines with
    // right-to-left letters, put into reading order when the page is done.
    size_t m_lineStart = 0;
    bool m_lineHasRightToLeft = false;
    std::vector<std::pair<size_t, size_t>> m_rightToLeftLines;
    // The units of spans' actual text, which reads in order as it is.
    std::vector<std::pair<size_t, size_t>> m_spanRuns;
    // The lengths of the rendering matrix's rows and the baseline's
    // direction for its last linear part, which stays the same along a run
    // of text.
    struct Basis {
        double a = NAN, b = NAN, c = NAN, d = NAN;
        double length = 0, em = 0, cosine = 1, sine = 0;
        float narrowedEm = 0;
    };
    mutable Basis m_basis;
};
