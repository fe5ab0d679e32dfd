#include "Platform/UI/Keyboard.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Screen.h"

namespace ui {

Keyboard& Keyboard::shared()
{
    static Keyboard keyboard;
    return keyboard;
}

float Keyboard::height(bool tablet, bool landscape)
{
    if (tablet)
        return landscape ? 352 : 264;
    return landscape ? 162 : 216;
}

namespace {

Orientation keyboardOrientation()
{
    auto* application = Application::shared();
    return application ? application->statusBarOrientation() : Orientation::Portrait;
}

} // namespace

gfx::Rect Keyboard::frame() const
{
    gfx::Rect screen = Screen::main()->bounds();
    Orientation o = keyboardOrientation();
    float h = height(Screen::userInterfaceIdiom() == core::Device::Idiom::Tablet, isLandscape(o));
    switch (o) {
    case Orientation::PortraitUpsideDown:
        return { 0, 0, screen.width(), h };
    case Orientation::LandscapeRight: // the interface's bottom is the screen's left
        return { 0, 0, h, screen.height() };
    case Orientation::LandscapeLeft:
        return { screen.width() - h, 0, h, screen.height() };
    default:
        return { 0, screen.height() - h, screen.width(), h };
    }
}

gfx::Rect Keyboard::offscreenFrame() const
{
    gfx::Rect screen = Screen::main()->bounds();
    gfx::Rect f = frame();
    switch (keyboardOrientation()) {
    case Orientation::PortraitUpsideDown:
        return f.offsetBy(0, -f.height());
    case Orientation::LandscapeRight:
        return f.offsetBy(-f.width(), 0);
    case Orientation::LandscapeLeft:
        return f.offsetBy(f.width(), 0);
    default:
        return { f.x(), screen.height(), f.width(), f.height() };
    }
}

void Keyboard::post(core::NoticeName<Change> name, const gfx::Rect& begin, const gfx::Rect& end, double duration)
{
    core::NotificationCenter::defaultCenter().post(name, nullptr, { begin, end, duration, 0 });
}

void Keyboard::show(bool moving)
{
    gfx::Rect end = m_hardware ? offscreenFrame() : frame();
    uint64_t generation = ++m_generation;
    if (m_visible || moving) {
        m_visible = true;
        post(willShowNotification, end, end, 0);
        post(didShowNotification, end, end, 0);
        return;
    }
    m_visible = true;
    gfx::Rect begin = offscreenFrame();
    post(willShowNotification, begin, end, AnimationDuration);
    core::RunLoop::main().performAfter(AnimationDuration, [this, generation, begin, end] {
        if (generation == m_generation)
            post(didShowNotification, begin, end, AnimationDuration);
    });
}

void Keyboard::hide()
{
    if (!m_visible)
        return;
    m_visible = false;
    uint64_t generation = ++m_generation;
    gfx::Rect begin = m_hardware ? offscreenFrame() : frame(), end = offscreenFrame();
    post(willHideNotification, begin, end, AnimationDuration);
    core::RunLoop::main().performAfter(AnimationDuration, [this, generation, begin, end] {
        if (generation == m_generation)
            post(didHideNotification, begin, end, AnimationDuration);
    });
}

void Keyboard::resetForTesting()
{
    m_visible = false;
    ++m_generation;
}

} // namespace ui
