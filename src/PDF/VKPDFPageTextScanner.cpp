#include "PDF/VKPDFPageTextScanner.h"

#include "Kit/StringAdditions.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFTextDirection.h"
#include "PDF/VKPDFTextNormalization.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unicode/uchar.h>
#include <unicode/utf16.h>

namespace {

// x, y, width and height as 32-bit floats.
constexpr size_t kRecordBytes = 16;

// The widest word space of proportional text fonts, in ems.
constexpr double kWidestSpace = 1.0 / 3;

// Tabs and space separators only, as vkIsWhitespace judges, without the
// trip through UTF-8 for every character of a page.
bool isWhitespace(std::u16string_view text)
{
    for (char16_t unit : text) {
        // The only space separator below U+0080 is the space.
        if (unit < 0x80 ? unit != u' ' && unit != u'\t' : (U_GET_GC_MASK(UChar32(unit)) & U_GC_ZS_MASK) == 0)
            return false;
    }
    return true;
}

// Whether the text holds an East Asian wide or fullwidth character (all of
// them lie at U+1100 or above).
bool isWide(std::u16string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] < 0x1100)
            continue;
        UChar32 c = text[i];
        if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) {
            c = U16_GET_SUPPLEMENTARY(text[i], text[i + 1]);
            ++i;
        }
        int width = u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH);
        if (width == U_EA_WIDE || width == U_EA_FULLWIDTH)
            return true;
    }
    return false;
}

} // namespace

std::shared_ptr<VKPDFPageTextScanner> VKPDFPageTextScanner::create(const pdf::Page& page)
{
    return std::shared_ptr<VKPDFPageTextScanner>(new VKPDFPageTextScanner(page));
}

std::shared_ptr<VKPDFPageTextScanner> VKPDFPageTextScanner::create(const VKPDFPage& page)
{
    return create(page.pageRef());
}

VKPDFPageTextScanner::VKPDFPageTextScanner(const pdf::Page& page) : VKPDFPageScanner(page)
{
}

const std::u16string& VKPDFPageTextScanner::text()
{
    if (!m_scanned)
        scan();
    return m_text;
}

const core::Data& VKPDFPageTextScanner::glyphRects()
{
    if (!m_scanned)
        scan();
    return m_glyphRects;
}

void VKPDFPageTextScanner::scan()
{
    m_scanned = true;
    m_text.clear();
    m_rectBytes.clear();
    m_rectCount = 0;
    m_previousCharacterWhitespace = false;
    m_previousRotatedRenderRect = gfx::Rect();
    m_zeroHeightLogged = false;
    m_previousBaseline = 0;
    m_previousWordGap = 0;
    m_previousWideWordGap = 0;
    m_previousWide = false;
    m_hasLast = false;
    m_hasPendingAccent = false;
    m_span = Span();
    m_actualTextBudget = kMaximumActualTextUnits;
    m_lineStart = 0;
    m_lineHasRightToLeft = false;
    m_rightToLeftLines.clear();
    m_spanRuns.clear();
    VKPDFPageScanner::scan();
    flushPendingAccent();
    endLine();
    if (!m_rightToLeftLines.empty()) {
        // Lines read in the page's direction: the one most of its letters
        // take.
        const bool rightToLeft = VKPDFTextDirection::isMostlyRightToLeft(m_text);
        m_rectBytes.resize(m_rectCount * kRecordBytes);
        // From the last line, so that a space put in leaves the earlier
        // lines where they are.
        std::vector<std::pair<size_t, size_t>> kept;
        for (auto line = m_rightToLeftLines.rbegin(); line != m_rightToLeftLines.rend(); ++line) {
            auto [start, end] = *line;
            // The spans' actual text within the line.
            kept.clear();
            auto span = std::lower_bound(m_spanRuns.begin(), m_spanRuns.end(), std::make_pair(start, size_t(0)));
            for (; span != m_spanRuns.end() && span->second <= end; ++span)
                kept.emplace_back(span->first - start, span->second - start);
            VKPDFTextDirection::reorderLine(m_text, m_rectBytes.data(), kRecordBytes, start, end, rightToLeft, kept);
            // The space that parted it from its neighbours may have moved
            // inside it: a line stays a word apart from them.
            auto parted = [&](size_t at) {
                std::u16string_view text = m_text;
                return at == 0 || at >= text.size() || isWhitespace(text.substr(at - 1, 1)) || isWhitespace(text.substr(at, 1));
            };
            for (size_t at : { end, start }) {
                if (!parted(at)) {
                    m_text.insert(at, 1, u' ');
                    m_rectBytes.insert(at * kRecordBytes, kRecordBytes, '\0');
                    ++m_rectCount;
                }
            }
        }
        m_rightToLeftLines.clear();
    }
    m_rectBytes.resize(m_rectCount * kRecordBytes);
    // A short page gives back what its first growth took.
    if (m_rectBytes.capacity() > 2 * m_rectBytes.size())
        m_rectBytes.shrink_to_fit();
    m_glyphRects = core::Data(std::move(m_rectBytes));
    m_rectBytes = std::string();
}

void VKPDFPageTextScanner::addString(std::u16string_view text, gfx::Rect renderRect)
{
    if (renderRect.height() == 0 && renderRect.width() != 0 && !m_zeroHeightLogged) {
        // Once per scan: a font without metrics would otherwise log every
        // character of the page.
        m_zeroHeightLogged = true;
        core::log("Warning: {} found zero height non-zero width render rect {{{{{}, {}}}, {{{}, {}}}}}", className(),
            renderRect.x(), renderRect.y(), renderRect.width(), renderRect.height());
    }
    if (text.size() == 1)
        m_text.push_back(text[0]);
    else
        m_text.append(text);
    // Grown ahead, 4,096 records at first: a page of text has thousands.
    const size_t bytes = (m_rectCount + text.size()) * kRecordBytes;
    if (bytes > m_rectBytes.size())
        m_rectBytes.resize(std::max({ bytes, 2 * m_rectBytes.size(), 4096 * kRecordBytes }));
    // Field by field, straight from the registers the rectangle came in (a
    // record built on the stack and copied whole reads back slowly).
    const float x = renderRect.x(), y = renderRect.y(), width = renderRect.width(), height = renderRect.height();
    for (size_t i = 0; i < text.size(); ++i, ++m_rectCount) {
        char* record = m_rectBytes.data() + m_rectCount * kRecordBytes;
        std::memcpy(record, &x, 4);
        std::memcpy(record + 4, &y, 4);
        std::memcpy(record + 8, &width, 4);
        std::memcpy(record + 12, &height, 4);
    }
}

VKPDFPageTextScanner::Placed VKPDFPageTextScanner::placed(gfx::Rect renderRect) const
{
    // Judged along the text's own baseline, so that text runs the same
    // whichever way the page or the text is turned or slanted: along it the
    // glyph's advance from its origin, across it the glyph's height.
    const VKPDFMatrix& m = currentTextRenderingMatrix();
    const gfx::Rect& glyph = currentGlyphRect();
    Placed result;
    result.renderRect = renderRect;
    // Where the baseline cannot be found along its own direction. (Every
    // return is of `result` itself, which is then built where the caller
    // wants it.)
    auto unplaced = [&] {
        result.upright = renderRect;
        result.baseline = renderRect.y() - vkPDFNarrow(double(glyph.y()) * m.d);
    };
    if (m.a != m_basis.a || m.b != m_basis.b || m.c != m_basis.c || m.d != m_basis.d) {
        const double length = std::hypot(m.a, m.b);
        const double em = std::hypot(m.c, m.d);
        m_basis = { m.a, m.b, m.c, m.d, length, em, m.a / length, m.b / length, vkPDFNarrow(em) };
    }
    result.em = m_basis.narrowedEm;
    double length = m_basis.length;
    {
        // Glyph units scale by the matrix's first row; the character
        // spacing (text space) by the same without the font size. It is
        // letter spacing when it spreads a string of three codes or more by
        // less than a space; on two codes, or by a space, converters use it
        // to place the next word.
        const auto& font = currentTextFont();
        double fontSize = currentTextFontSize();
        double space = 0.001 * (font ? font->spaceWidth() : 250) * length;
        double letterSpacing = fontSize != 0 ? currentTextCharacterSpacing() * length / std::fabs(fontSize) : 0;
        if (currentStringCodes() < 3 || !(letterSpacing > 0 && letterSpacing < 0.9 * space))
            letterSpacing = 0;
        // A fixed-pitch font's space is a whole empty cell (0.6 em), but its
        // words inside justified text are set apart by the text's space,
        // shrunk as narrow as the line needs: a space counts for no more
        // than the widest of proportional fonts'. Wide East Asian letters
        // (a cell of an em) set no spaces between words, and the line's
        // justification spreads them by more than that.
        double gap = 0.5 * std::min(space, kWidestSpace * length) + letterSpacing;
        double wideGap = 0.5 * space + letterSpacing;
        result.wordGap = std::isfinite(gap) ? vkPDFNarrow(gap) : 0;
        result.wideWordGap = std::isfinite(wideGap) ? vkPDFNarrow(wideGap) : 0;
    }
    if (!(length > 0) || !std::isfinite(length)) {
        unplaced();
        return result;
    }
    const double cosine = m_basis.cosine, sine = m_basis.sine;
    double start, end, bottom, top, baseline;
    const bool upright = m.b == 0 && m.c == 0 && std::isfinite(m.d) && std::isfinite(m.tx) && std::isfinite(m.ty);
    if (upright) {
        // Upright or mirrored, most text: the sine is zero and the cosine
        // ±1, and the terms below are the general ones' without those that
        // come to zero (whose sign no comparison sees).
        auto along = [&](double x) { return (x * m.a + m.tx) * cosine; };
        const double scale = m.d * cosine, shift = m.ty * cosine;
        auto across = [&](double y) { return y * scale + shift; };
        start = along(glyph.x());
        end = along(double(glyph.x()) + glyph.width());
        bottom = across(glyph.y());
        top = across(double(glyph.y()) + glyph.height());
        baseline = shift;
    } else {
        auto along = [&](double x) { return (x * m.a + m.tx) * cosine + (x * m.b + m.ty) * sine; };
        auto across = [&](double y) { return y * (m.d * cosine - m.c * sine) + m.ty * cosine - m.tx * sine; };
        start = along(glyph.x());
        end = along(double(glyph.x()) + glyph.width());
        bottom = across(glyph.y());
        top = across(double(glyph.y()) + glyph.height());
        baseline = across(0);
    }
    if (!std::isfinite(start) || !std::isfinite(end) || !std::isfinite(bottom) || !std::isfinite(top)
        || !std::isfinite(baseline)) {
        unplaced();
        return result;
    }
    if (upright && cosine == 1) {
        // The very sums the render rectangle was made of.
        result.upright = renderRect;
    } else {
        result.upright = gfx::Rect(vkPDFNarrow(std::min(start, end)), vkPDFNarrow(std::min(bottom, top)),
            vkPDFNarrow(std::fabs(end - start)), vkPDFNarrow(std::fabs(top - bottom)));
    }
    result.baseline = vkPDFNarrow(baseline);
    result.cosine = float(cosine);
    result.sine = float(sine);
    return result;
}

bool VKPDFPageTextScanner::isOver(const Placed& accent, const Placed& letter)
{
    const gfx::Rect& a = accent.upright;
    const gfx::Rect& l = letter.upright;
    float middle = a.x() + a.width() / 2;
    float slack = 0.05f * letter.em;
    return middle >= l.x() - slack && middle <= l.x() + l.width() + slack
        && std::fabs(a.y() - l.y()) <= std::max(l.height(), letter.em);
}

void VKPDFPageTextScanner::processCharacterString(const std::u16string& text, gfx::Rect renderRect)
{
    const Placed character = placed(renderRect);
    if (isInActualText()) {
        // Covered: only its place counts.
        if (m_span.hasGlyphs) {
            m_span.covered.renderRect = m_span.covered.renderRect.unionRect(renderRect);
            m_span.covered.upright = m_span.covered.upright.unionRect(character.upright);
        } else {
            m_span.covered = character;
            m_span.hasGlyphs = true;
        }
        return;
    }
    // Spacing accents lie at U+0060 and between U+00A8 and U+02DD.
    char16_t accent = text.size() == 1 ? text[0] : 0;
    if ((accent == u'\u0060' || (accent >= u'\u00A8' && accent <= u'\u02DD'))
        && VKPDFTextNormalization::combiningFormOfAccent(accent)) {
        // Over the letter just set: it takes the accent.
        if (m_hasLast && !m_hasPendingAccent && VKPDFTextNormalization::takesAccent(lastText())
            && isOver(character, m_last)) {
            std::u16string joined = VKPDFTextNormalization::accented(lastText(), accent);
            m_text.resize(m_lastStart);
            m_rectCount = m_lastStart;
            addString(joined, m_last.renderRect);
            m_previousCharacterWhitespace = false;
            return;
        }
        flushPendingAccent();
        m_pendingAccent = character;
        m_pendingAccentUnit = accent;
        m_hasPendingAccent = true;
        return;
    }
    if (m_hasPendingAccent) {
        if (VKPDFTextNormalization::takesAccent(text) && isOver(m_pendingAccent, character)) {
            m_hasPendingAccent = false;
            append(character, VKPDFTextNormalization::accented(text, m_pendingAccentUnit));
            return;
        }
        flushPendingAccent();
    }
    append(character, text);
}

void VKPDFPageTextScanner::flushPendingAccent()
{
    if (!m_hasPendingAccent)
        return;
    m_hasPendingAccent = false;
    append(m_pendingAccent, std::u16string_view(&m_pendingAccentUnit, 1));
}

bool VKPDFPageTextScanner::beginActualText(std::u16string text)
{
    if (text.size() > m_actualTextBudget)
        return false;
    m_actualTextBudget -= text.size();
    m_span.text = std::move(text);
    m_span.hasGlyphs = false;
    return true;
}

void VKPDFPageTextScanner::endActualText()
{
    // A span that drew nothing on the page adds nothing, as one whose text
    // is empty hides its glyphs.
    if (!m_span.hasGlyphs || m_span.text.empty())
        return;
    flushPendingAccent();
    append(m_span.covered, m_span.text, true);
    if (m_text.size() - m_lastStart >= 2)
        m_spanRuns.emplace_back(m_lastStart, m_text.size());
    m_span.text.clear();
    m_hasLast = false;
}

void VKPDFPageTextScanner::endLine()
{
    if (m_lineHasRightToLeft && m_text.size() > m_lineStart)
        m_rightToLeftLines.emplace_back(m_lineStart, m_text.size());
    m_lineHasRightToLeft = false;
}

void VKPDFPageTextScanner::append(const Placed& character, std::u16string_view text, bool shared)
{
    const gfx::Rect& upright = character.upright;
    const gfx::Rect& previous = m_previousRotatedRenderRect;
    float dy = std::fabs(character.baseline - m_previousBaseline);
    float limit = 0.5f * std::min(upright.height(), previous.height());
    float gap = (upright.x() - previous.x()) - previous.width();
    // A comparison with NaN is false: no new line, no gap, no jump back.
    // The gap that makes a space is the same beside every letter; between
    // two fonts it is the narrower font's, as a word in a typewriter font,
    // whose space is wide, is set apart from the text around it by the
    // text font's space.
    // A new line, or a jump back to a column's start, ends a line.
    bool newLine = dy > limit || upright.x() < previous.x() - 0.25f * character.em;
    const bool wide = isWide(text);
    float ours = wide || m_previousWide ? character.wideWordGap : character.wordGap;
    float theirs = wide || m_previousWide ? m_previousWideWordGap : m_previousWordGap;
    float wordGap = ours > 0 && theirs > 0 ? std::min(ours, theirs) : std::max(ours, theirs);
    bool newWord = newLine || gap > wordGap;
    if (newLine)
        endLine();
    if (newWord && !m_previousCharacterWhitespace && !m_text.empty())
        addString(u" ", gfx::Rect());
    if (newLine)
        m_lineStart = m_text.size();
    if (!m_lineHasRightToLeft && VKPDFTextDirection::hasRightToLeft(text))
        m_lineHasRightToLeft = true;
    m_lastStart = m_text.size();
    if (!shared || text.size() < 2) {
        addString(text, character.renderRect);
    } else {
        // Each unit takes its share of the span's extent, in reading order
        // along the baseline's main direction.
        const gfx::Rect& whole = character.renderRect;
        bool horizontal = std::fabs(character.cosine) >= std::fabs(character.sine);
        bool backwards = horizontal ? character.cosine < 0 : character.sine < 0;
        float share = (horizontal ? whole.width() : whole.height()) / float(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            float step = share * float(backwards ? text.size() - 1 - i : i);
            addString(text.substr(i, 1),
                horizontal ? gfx::Rect(whole.x() + step, whole.y(), share, whole.height())
                           : gfx::Rect(whole.x(), whole.y() + step, whole.width(), share));
        }
    }
    m_previousRotatedRenderRect = upright;
    m_previousBaseline = character.baseline;
    m_previousWordGap = character.wordGap;
    m_previousWideWordGap = character.wideWordGap;
    m_previousWide = wide;
    m_previousCharacterWhitespace = shared ? isWhitespace(text.substr(text.size() - 1)) : isWhitespace(text);
    m_last = character;
    m_hasLast = true;
}
