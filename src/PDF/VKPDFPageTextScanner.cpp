#include "PDF/VKPDFPageTextScanner.h"

#include "Kit/StringAdditions.h"
#include "PDF/VKPDFPage.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UTF8.h"

#include <algorithm>
#include <cmath>

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
    VKPDFPageScanner::scan();
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

void VKPDFPageTextScanner::processCharacterString(const std::u16string& text, const gfx::Rect& renderRect)
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
    gfx::Rect upright = VKPDFMatrix { cosine, -sine, sine, cosine, 0, 0 }.apply(renderRect);
    const gfx::Rect& previous = m_previousRotatedRenderRect;
    float dy = std::fabs(upright.y() - previous.y());
    float limit = 0.5f * std::min(upright.height(), previous.height());
    float gap = (upright.x() - previous.x()) - previous.width();
    // A comparison with NaN is false: no new line, no gap.
    bool newWord = dy > limit || gap > (upright.width() + previous.width()) * 0.125f;
    if (newWord && !m_previousCharacterWhitespace)
        addString(u" ", gfx::Rect());
    addString(text, renderRect);
    m_previousRotatedRenderRect = upright;
    m_previousCharacterWhitespace = vkIsWhitespace(core::toUTF8(text));
}
