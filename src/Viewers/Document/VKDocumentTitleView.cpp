#include "Viewers/Document/VKDocumentTitleView.h"

#include "Shell/Interface/LayoutConstants.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/Toolbar.h"

#include <cmath>
#include <fmt/format.h>

namespace {

gfx::Font pageFont()
{
    return gfx::Font::systemFont(13);
}

// Wide enough for "900 of 900", whatever the page.
float minimumWidth()
{
    return gfx::textEngine()->widthOfString("900 of 900", pageFont());
}

bool isBar(const ui::View* view)
{
    return dynamic_cast<const ui::NavigationBar*>(view) || dynamic_cast<const ui::Toolbar*>(view);
}

} // namespace

std::shared_ptr<VKDocumentTitleView> VKDocumentTitleView::create(const gfx::Rect& frame)
{
    std::shared_ptr<VKDocumentTitleView> view(new VKDocumentTitleView());
    view->setOpaque(false);
    view->setBackgroundColor(gfx::Color());
    view->setFrame(frame);
    return view;
}

ui::Label& VKDocumentTitleView::titleLabel()
{
    if (!m_titleLabel) {
        m_titleLabel = ui::Label::create();
        m_titleLabel->setBackgroundColor(gfx::Color());
        m_titleLabel->setOpaque(false);
        m_titleLabel->setFont(titleFont());
        m_titleLabel->setLineBreakMode(gfx::LineBreakMode::TailTruncation);
        m_titleLabel->setAdjustsFontSizeToFitWidth(true);
        m_titleLabel->setMinimumFontSize(18);
        m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
        addSubview(m_titleLabel);
    }
    return *m_titleLabel;
}

ui::Label& VKDocumentTitleView::pageLabel()
{
    if (!m_pageLabel) {
        m_pageLabel = ui::Label::create();
        m_pageLabel->setBackgroundColor(gfx::Color());
        m_pageLabel->setOpaque(false);
        m_pageLabel->setFont(pageFont());
        m_pageLabel->setTextAlignment(gfx::TextAlignment::Center);
        addSubview(m_pageLabel);
    }
    return *m_pageLabel;
}

std::string VKDocumentTitleView::title() const
{
    return m_titleLabel ? std::string(m_titleLabel->text()) : std::string();
}

void VKDocumentTitleView::setTitle(std::string_view title)
{
    titleLabel().setText(title);
    if (superview()) {
        sizeToFit();
        setNeedsLayout();
    }
}

std::string VKDocumentTitleView::subtitle() const
{
    return m_pageLabel ? std::string(m_pageLabel->text()) : std::string();
}

void VKDocumentTitleView::setPageCount(unsigned count)
{
    if (count == m_pageCount)
        return;
    m_pageCount = count;
    updatePageLabel();
}

void VKDocumentTitleView::setPageIndexRange(VKPageIndexRange range)
{
    if (range == m_range)
        return;
    m_range = range;
    updatePageLabel();
}

void VKDocumentTitleView::setPageNumber(unsigned number)
{
    unsigned location = number == 0 ? 0 : number - 1;
    if (location == m_range.location)
        return;
    m_range.location = location;
    updatePageLabel();
}

bool VKDocumentTitleView::isLandscapeGeometry() const
{
    auto* application = ui::Application::shared();
    return application && ui::isLandscape(application->statusBarOrientation());
}

void VKDocumentTitleView::updatePageLabel()
{
    ++m_updates;
    ui::Label& label = pageLabel();
    if (m_pageCount < 2) {
        label.setHidden(true);
        label.setText("");
    } else {
        label.setHidden(false);
        std::string text = VKPageText(m_range, m_pageCount);
        label.setText(isLandscapeGeometry() ? " - " + text : text);
    }
    fitInBar();
    titleLabel().setFont(titleFont());
    setNeedsLayout();
}

void VKDocumentTitleView::fitInBar()
{
    // A page number wider than the room it had: the bar sizes and centres
    // the title again.
    ui::View* bar = superview();
    if (bar && isBar(bar) && sizeThatFits({}).width != bounds().width())
        bar->setNeedsLayout();
}

gfx::Size VKDocumentTitleView::sizeThatFits(gfx::Size) const
{
    auto engine = gfx::textEngine();
    float titleWidth = m_titleLabel ? engine->widthOfString(m_titleLabel->text(), titleFont()) : 0;
    float pageWidth = m_pageLabel ? engine->widthOfString(m_pageLabel->text(), pageFont()) : 0;
    bool landscape = isLandscapeGeometry();
    float width = landscape ? titleWidth + std::max(pageWidth, minimumWidth()) + Margin
                            : std::max({ minimumWidth(), titleWidth, pageWidth });
    if (const ui::View* bar = superview(); bar && isBar(bar)) {
        const auto& siblings = bar->subviews();
        float left = bar->bounds().minX();
        float right = bar->bounds().maxX();
        for (size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i].get() != this)
                continue;
            if (i > 0)
                left = siblings[i - 1]->frame().maxX();
            if (i + 1 < siblings.size())
                right = siblings[i + 1]->frame().minX();
            break;
        }
        float span = (right - Margin) - (left + Margin);
        if (span > 0)
            width = std::min(width, span);
    }
    return { width, landscape ? VKToolbarSmallHeight : VKToolbarDefaultHeight };
}

void VKDocumentTitleView::layoutSubviews()
{
    gfx::Rect b = bounds();
    ui::Label& title = titleLabel();
    bool hasPage = m_pageLabel && !m_pageLabel->text().empty();
    auto engine = gfx::textEngine();
    if (!isLandscapeGeometry()) {
        title.setTextAlignment(gfx::TextAlignment::Center);
        if (hasPage) {
            m_pageLabel->setTextAlignment(gfx::TextAlignment::Center);
            float ph = engine->sizeOfString(m_pageLabel->text(), pageFont()).height;
            title.setFrame(gfx::Rect(b.x(), b.y(), b.width(), b.height() - ph - 2));
            m_pageLabel->setFrame(gfx::Rect(b.x(), b.y() + b.height() - ph - 2, b.width(), ph));
        } else {
            title.setFrame(b);
        }
        return;
    }
    if (!hasPage) {
        title.setTextAlignment(gfx::TextAlignment::Center);
        title.setFrame(b);
        return;
    }
    title.setTextAlignment(gfx::TextAlignment::Right);
    m_pageLabel->setTextAlignment(gfx::TextAlignment::Left);
    float pw = engine->widthOfString(m_pageLabel->text(), pageFont());
    float tw = std::min(b.width() - pw, engine->widthOfString(title.text(), titleFont()));
    float x = std::floor((b.width() - tw - pw) * 0.5f);
    title.setFrame(gfx::Rect(x, b.y(), tw, b.height()));
    m_pageLabel->setFrame(gfx::Rect(x + tw, b.y(), pw, b.height()));
}

void VKDocumentTitleView::didMoveToSuperview()
{
    if (!isBar(superview()))
        return;
    for (ui::Label* label : { &titleLabel(), &pageLabel() }) {
        label->setTextColor(gfx::Color::white(1));
        label->setShadowColor(gfx::Color::white(0.25f));
        label->setShadowOffset({ 0, -1 });
    }
}
