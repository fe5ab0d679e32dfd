#pragma once

// The page-number bubble: a translucent black pill in the top-left corner
// of the content reading "7 of 120" (or "7-8 of 120" with two pages on
// screen). The document frame shows it while the reader scrubs the page
// index and fades it out afterwards; it widens for long page texts.

#include "Viewers/Document/VKPageText.h"

#include "Viewers/Document/VKDelayedFade.h"

#include "Platform/Graphics/Font.h"
#include "Platform/UI/View.h"


class VKPageNumberOverlay : public ui::View {
public:
    static std::shared_ptr<VKPageNumberOverlay> create(const gfx::Rect& frame = {});
    ~VKPageNumberOverlay() override;

    gfx::Font font() const { return gfx::Font::boldSystemFont(16); }
    // At least the asked width, and wide enough for "N-N of N" at this count
    // plus 10.
    gfx::Size sizeThatFits(gfx::Size size) const override;
    void setFrame(const gfx::Rect& frame) override;

    unsigned pageCount() const { return m_pageCount; }
    void setPageCount(unsigned count);
    VKPageIndexRange pageIndexRange() const { return m_range; }
    void setPageIndexRange(VKPageIndexRange range);
    // Moves the range's first page to `number` - 1.
    void setPageNumber(unsigned number);
    std::string pageText() const { return VKPageText(m_range, m_pageCount); }
    // How often the bubble was asked to draw again (tests).
    int redrawRequests() const { return m_redraws; }

    void setAlpha(float alpha) override;
    void fadeOut(bool fade, bool animated);
    void fadeOut(bool fade, bool animated, double delay);
    bool hasPendingFade() const { return m_fade.isPending(); }
    void draw(gfx::Context& context, const gfx::Rect& rect) override;

protected:
    VKPageNumberOverlay() = default;

private:
    void refresh();

    unsigned m_pageCount = 0;
    VKDelayedFade m_fade;
    VKPageIndexRange m_range;
    int m_redraws = 0;
};
