#include "Platform/UI/Pointer.h"

#include "Platform/UI/Touch.h"
#include "Platform/UI/View.h"
#include "Platform/UI/Window.h"

#include <algorithm>

namespace ui {

void Pointer::touchesChanged(const TouchSet& touches)
{
    for (auto& touch : touches) {
        auto phase = touch->phase();
        if (phase == Touch::Phase::Began)
            m_down.push_back(touch);
        else if (phase == Touch::Phase::Ended || phase == Touch::Phase::Cancelled)
            std::erase_if(m_down, [&](const std::weak_ptr<Touch>& down) { return down.lock() == touch; });
    }
    std::erase_if(m_down, [](const std::weak_ptr<Touch>& down) { return down.expired(); });
}

bool Pointer::isOn(const View& view) const
{
    Window* window = view.window();
    if (!window)
        return false;
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden())
            return false;
    for (auto& weak : m_down)
        if (auto touch = weak.lock(); touch && touch->view() && touch->view()->isDescendantOfView(&view))
            return true;
    if (!m_hover)
        return false;
    gfx::Point inWindow = window->layer().transformToSuperlayer().inverted().apply(*m_hover);
    return view.bounds().contains(view.convertPointFrom(inWindow, window));
}

std::string Pointer::hoveredToolTip() const
{
    if (!m_hover)
        return {};
    for (auto& window : Window::windowsFrontToBack()) {
        if (window->isHidden())
            continue;
        gfx::Point local = window->layer().transformToSuperlayer().inverted().apply(*m_hover);
        View* hit = window->hitTest(local);
        if (!hit)
            continue;
        for (View* view = hit; view; view = view->superview())
            if (!view->toolTip().empty())
                return view->toolTip();
        return {};
    }
    return {};
}

} // namespace ui
