#pragma once

// The text of one page and the rectangle of each of its UTF-16 units: the
// page scanner's characters joined in content order, with one space
// inserted where a character starts another line or follows a gap wider
// than an eighth of the two characters' widths. Lines and gaps are judged
// along the baseline of the text, not in page space nor in the page's shown
// orientation: a line drawn across a turned page, or turned on an upright
// one, still reads as words. The rectangles form a packed block of 16-byte records (x,
// y, width, height as 32-bit floats in machine order, page space), one per
// UTF-16 unit of the text; inserted spaces have the zero rectangle. The
// page index store keeps the block as it is and the page view reads it.

#include "PDF/VKPDFPageScanner.h"
#include "Platform/Core/Data.h"

#include <string>

class VKPDFPageTextScanner : public VKPDFPageScanner {
public:
    static std::shared_ptr<VKPDFPageTextScanner> create(const pdf::Page& page);
    static std::shared_ptr<VKPDFPageTextScanner> create(const VKPDFPage& page);

    // Each scans the page first when it has not been scanned.
    const std::u16string& text();
    const core::Data& glyphRects();

    void scan() override;

    // Appends the text and one copy of the rectangle per UTF-16 unit of it.
    void addString(std::u16string_view text, const gfx::Rect& renderRect);

    using VKPDFPageScanner::processCharacterString;
    void processCharacterString(const std::u16string& text, const gfx::Rect& renderRect) override;

protected:
    explicit VKPDFPageTextScanner(const pdf::Page& page);

private:
    bool m_scanned = false;
    std::u16string m_text;
    std::string m_rectBytes;
    core::Data m_glyphRects;
    bool m_previousCharacterWhitespace = false;
    gfx::Rect m_previousRotatedRenderRect;
    bool m_zeroHeightLogged = false;
};
