#pragma once

// The navigation bar's title view of a paged document: the document's
// title in bold and, when it has two pages or more, where the reader is
// ("5 of 120") under it in portrait, or beside it (" - 5 of 120") in the
// lower landscape bar. In a bar the text is white with a dark shadow; the
// view never grows past the bar items beside it.

#include "Viewers/Document/VKPageText.h"

#include "Platform/Graphics/Font.h"
#include "Platform/UI/View.h"

namespace ui {
class Label;
}

class VKDocumentTitleView : public ui::View {
public:
    static constexpr float Margin = 20;

    static std::shared_ptr<VKDocumentTitleView> create(const gfx::Rect& frame = {});

    std::string title() const;
    void setTitle(std::string_view title);
    std::string subtitle() const;
    unsigned pageCount() const { return m_pageCount; }
    void setPageCount(unsigned count);
    VKPageIndexRange pageIndexRange() const { return m_range; }
    void setPageIndexRange(VKPageIndexRange range);
    void setPageNumber(unsigned number);

    static gfx::Font titleFont() { return gfx::Font::boldSystemFont(20); }
    ui::Label& titleLabel();
    ui::Label& pageLabel();
    bool isLandscapeGeometry() const;
    void updatePageLabel();
    void fitInBar();
    // How often the page label was brought up to date (tests).
    int pageLabelUpdates() const { return m_updates; }

    gfx::Size sizeThatFits(gfx::Size size) const override;
    void layoutSubviews() override;
    void didMoveToSuperview() override;

protected:
    VKDocumentTitleView() = default;

private:
    std::shared_ptr<ui::Label> m_titleLabel;
    std::shared_ptr<ui::Label> m_pageLabel;
    unsigned m_pageCount = 0;
    VKPageIndexRange m_range;
    int m_updates = 0;
};
