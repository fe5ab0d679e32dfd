#include "Platform/UI/Toolbar.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"

#include <cmath>

namespace ui {

std::shared_ptr<Toolbar> Toolbar::create(const gfx::Rect& frame)
{
    return make<Toolbar>(frame);
}

Toolbar::Toolbar()
{
    setAutoresizingMask(FlexibleWidth | FlexibleTopMargin);
}

Toolbar::~Toolbar()
{
    for (auto& item : m_items)
        item->setChangeHandler({});
}

void Toolbar::setBarStyle(NavigationBar::Style style)
{
    m_style = style;
    setNeedsDisplayIncludingSubviews();
    if (superview())
        superview()->setNeedsLayout(); // translucency moves the content
}

void Toolbar::setTranslucent(bool translucent)
{
    m_translucent = translucent;
    setNeedsDisplayIncludingSubviews();
    if (superview())
        superview()->setNeedsLayout();
}

void Toolbar::setTintColor(std::optional<gfx::Color> color)
{
    m_tint = color;
    setNeedsDisplayIncludingSubviews();
}

void Toolbar::setItems(std::vector<std::shared_ptr<BarButtonItem>> items, bool)
{
    for (auto& item : m_items)
        item->setChangeHandler({});
    m_items = std::move(items);
    std::weak_ptr<core::Object> weak = weak_from_this();
    for (auto& item : m_items) {
        item->setView(nullptr);
        item->setChangeHandler([weak] {
            if (auto self = std::static_pointer_cast<Toolbar>(weak.lock())) {
                self->m_viewsStale = true;
                self->setNeedsLayout();
            }
        });
    }
    m_viewsStale = true;
    setNeedsLayout();
}

void Toolbar::rebuildViews()
{
    m_viewsStale = false;
    for (auto& view : m_views)
        if (view)
            view->removeFromSuperview();
    m_views.clear();
    for (auto& item : m_items) {
        auto view = makeBarItemView(item);
        if (view)
            addSubview(view);
        m_views.push_back(view);
    }
}

gfx::Size Toolbar::sizeThatFits(gfx::Size size) const
{
    return { size.width, barHeightForInterface() };
}

void Toolbar::layoutSubviews()
{
    if (m_viewsStale)
        rebuildViews();
    gfx::Rect b = bounds();
    float fixed = 2 * Edge + Gap * float(m_items.empty() ? 0 : m_items.size() - 1);
    size_t flexible = 0;
    std::vector<float> widths;
    for (size_t i = 0; i < m_items.size(); ++i) {
        widths.push_back(barItemWidth(*m_items[i], m_views[i].get()));
        fixed += widths.back();
        flexible += m_items[i]->isFlexibleSpace();
    }
    float share = flexible ? std::max(0.0f, (b.width() - fixed) / float(flexible)) : 0;
    float x = Edge;
    for (size_t i = 0; i < m_items.size(); ++i) {
        float width = m_items[i]->isFlexibleSpace() ? share : widths[i];
        if (auto& view = m_views[i]) {
            float height = dynamic_cast<BarItemButton*>(view.get()) ? BarItemButton::heightInBar(b.height())
                                                                     : std::min(b.height(), view->frame().height());
            view->setFrame({ x, std::floor((b.height() - height) / 2), width, height });
            m_items[i]->setView(view);
        }
        x += width + Gap;
    }
}

} // namespace ui
