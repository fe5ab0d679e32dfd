#include "Platform/UI/Touch.h"

#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Window.h"

namespace ui {

std::shared_ptr<Touch> Touch::create(gfx::Point locationOnScreen, double timestamp)
{
    auto touch = std::make_shared<Touch>();
    touch->m_location = touch->m_previous = locationOnScreen;
    touch->m_timestamp = timestamp;
    return touch;
}

namespace {

gfx::Point fromScreen(gfx::Point point, const View* view, const Window* window)
{
    const View* space = view ? view : window;
    if (!space)
        return point;
    return space->layer().transformToRoot().inverted().apply(point);
}

} // namespace

gfx::Point Touch::locationInView(const View* view) const
{
    return fromScreen(m_location, view, window());
}

gfx::Point Touch::previousLocationInView(const View* view) const
{
    return fromScreen(m_previous, view, window());
}

gfx::Point Touch::locationInWindow() const
{
    return fromScreen(m_location, nullptr, window());
}

std::vector<std::shared_ptr<GestureRecognizer>> Touch::gestureRecognizers() const
{
    std::vector<std::shared_ptr<GestureRecognizer>> result;
    for (auto& weak : m_recognizers)
        if (auto recognizer = weak.lock())
            result.push_back(std::move(recognizer));
    return result;
}

void Touch::update(Phase phase, gfx::Point locationOnScreen, double timestamp)
{
    m_previous = m_location;
    m_location = locationOnScreen;
    m_phase = phase;
    m_timestamp = timestamp;
}

void Touch::setHitTest(std::shared_ptr<View> view, Window* window)
{
    m_view = std::move(view);
    m_window = window;
    m_windowAlive = window ? window->weak_from_this() : std::weak_ptr<core::Object>();
}

void Touch::releaseView()
{
    m_view.reset();
}

} // namespace ui
