#include "PDF/VKPDFPageTextScanner.h"

#include "Kit/StringAdditions.h"
#include "PDF/VKPDFPage.h"
#include "PDF/VKPDFTextNormalization.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <cmath>
#include <unicode/uchar.h>

namespace {

// Tabs and space separators only, as vkIsWhitespace judges, without the
// trip through UTF-8 for every character of a page.
bool isWhitespace(std::u16string_view text)
{
    for (char16_t unit : text) {
        if (unit != u'\t' && (U_GET_GC_MASK(UChar32(unit)) & U_GC_ZS_MASK) == 0)
            return false;
    }
    return true;
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
    m_previousCharacterWhitespace = false;
    m_previousRotatedRenderRect = gfx::Rect();
    m_zeroHeightLogged = false;
    m_hasLast = false;
    m_hasPendingAccent = false;
    VKPDFPageScanner::scan();
    flushPendingAccent();
    m_glyphRects = core::Data(std::move(m_rectBytes));
    m_rectBytes = std::string();
}

void VKPDFPageTextScanner::addString(std::u16string_view text, const gfx::Rect& renderRect)
{
    if (renderRect.height() == 0 && renderRect.width() != 0 && !m_zeroHeightLogged) {
        // Once per scan: a font without metrics would otherwise log every
        // character of the page.
        m_zeroHeightLogged = true;
        core::log("Warning: {} found zero height non-zero width render rect {{{{{}, {}}}, {{{}, {}}}}}", className(),
            renderRect.x(), renderRect.y(), renderRect.width(), renderRect.height());
    }
    m_text.append(text);
    const float record[4] = { renderRect.x(), renderRect.y(), renderRect.width(), renderRect.height() };
    for (size_t i = 0; i < text.size(); ++i)
        m_rectBytes.append(reinterpret_cast<const char*>(record), sizeof record);
}

VKPDFPageTextScanner::Placed VKPDFPageTextScanner::placed(const std::u16string& text, const gfx::Rect& renderRect) const
{
    // Judged along the text's own baseline, so that text runs the same
    // whichever way the page or the text is turned.
    const VKPDFMatrix& rendering = currentTextRenderingMatrix();
    double length = std::hypot(rendering.a, rendering.b);
    double cosine = 1, sine = 0;
    if (length > 0 && std::isfinite(length)) {
        cosine = rendering.a / length;
        sine = rendering.b / length;
    }
    Placed result;
    result.text = text;
    result.renderRect = renderRect;
    result.upright = sine == 0 && cosine == 1 ? renderRect : VKPDFMatrix { cosine, -sine, sine, cosine, 0, 0 }.apply(renderRect);
    result.em = vkPDFNarrow(std::hypot(rendering.c, rendering.d));
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

void VKPDFPageTextScanner::processCharacterString(const std::u16string& text, const gfx::Rect& renderRect)
{
    Placed character = placed(text, renderRect);
    char16_t accent = text.size() == 1 ? text[0] : 0;
    if (accent && VKPDFTextNormalization::combiningFormOfAccent(accent)) {
        // Over the letter just set: it takes the accent.
        if (m_hasLast && !m_hasPendingAccent && VKPDFTextNormalization::takesAccent(m_last.text)
            && isOver(character, m_last)) {
            m_last.text = VKPDFTextNormalization::accented(m_last.text, accent);
            m_text.resize(m_lastStart);
            m_rectBytes.resize(16 * m_lastStart);
            addString(m_last.text, m_last.renderRect);
            m_previousCharacterWhitespace = false;
            return;
        }
        flushPendingAccent();
        m_pendingAccent = std::move(character);
        m_hasPendingAccent = true;
        return;
    }
    if (m_hasPendingAccent) {
        if (VKPDFTextNormalization::takesAccent(text) && isOver(m_pendingAccent, character)) {
            m_hasPendingAccent = false;
            character.text = VKPDFTextNormalization::accented(text, m_pendingAccent.text[0]);
            append(character);
            return;
        }
        flushPendingAccent();
    }
    append(character);
}

void VKPDFPageTextScanner::flushPendingAccent()
{
    if (!m_hasPendingAccent)
        return;
    m_hasPendingAccent = false;
    append(m_pendingAccent);
}

void VKPDFPageTextScanner::append(const Placed& character)
{
    const gfx::Rect& upright = character.upright;
    const gfx::Rect& previous = m_previousRotatedRenderRect;
    float dy = std::fabs(upright.y() - previous.y());
    float limit = 0.5f * std::min(upright.height(), previous.height());
    float gap = (upright.x() - previous.x()) - previous.width();
    // A comparison with NaN is false: no new line, no gap, no jump back.
    bool newWord = dy > limit || gap > (upright.width() + previous.width()) * 0.125f
        || upright.x() < previous.x() - 0.25f * character.em;
    if (newWord && !m_previousCharacterWhitespace && !m_text.empty())
        addString(u" ", gfx::Rect());
    m_lastStart = m_text.size();
    addString(character.text, character.renderRect);
    m_previousRotatedRenderRect = upright;
    m_previousCharacterWhitespace = isWhitespace(character.text);
    m_last = character;
    m_hasLast = true;
}
