#include "Platform/UI/DimmingView.h"

#include "Platform/Graphics/Color.h"

namespace ui {

std::shared_ptr<DimmingView> DimmingView::create(const gfx::Rect& frame, float dimming)
{
    auto view = View::make<DimmingView>(frame);
    view->setBackgroundColor(gfx::Color::white(0, dimming));
    view->setAutoresizingMask(FlexibleWidth | FlexibleHeight);
    return view;
}

View* DimmingView::hitTest(gfx::Point point, const Event* event)
{
    View* hit = View::hitTest(point, event);
    if (hit != this)
        return hit;
    for (auto& weak : m_passthrough) {
        auto view = weak.lock();
        if (view && view->window() && view->pointInside(convertPoint(point, view.get()), event))
            return nullptr;
    }
    return this;
}

void DimmingView::touchesBegan(const TouchSet&, const Event&) { }

void DimmingView::touchesEnded(const TouchSet&, const Event&)
{
    if (auto handler = m_tapHandler)
        handler();
}

} // namespace ui
