#include "Platform/UI/Testing/DriverLifeCycle.h"

#include "Platform/Core/MemoryWarning.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Testing/DriverSteps.h"

namespace ui::testing {

void DriverLifeCycle::launch(const core::Value& options)
{
    drivenApplication().launch(options);
    settle();
}

void DriverLifeCycle::launchWithURL(const core::URL& url)
{
    launch(core::Value::makeDictionary({ { Application::launchOptionsURLKey, url.absoluteString() } }));
}

void DriverLifeCycle::resignActive()
{
    drivenApplication().resignActive();
    settle();
}

void DriverLifeCycle::enterBackground()
{
    drivenApplication().enterBackground();
    settle();
}

void DriverLifeCycle::enterForeground()
{
    drivenApplication().enterForeground();
    settle();
}

void DriverLifeCycle::terminate()
{
    drivenApplication().terminate();
    settle();
}

bool DriverLifeCycle::openURL(const core::URL& url)
{
    bool handled = drivenApplication().handleOpenURL(url);
    settle();
    return handled;
}

void DriverLifeCycle::memoryWarning()
{
    core::postMemoryWarning();
    settle();
}

bool DriverLifeCycle::rotate(Orientation orientation)
{
    Orientation before = drivenApplication().statusBarOrientation();
    drivenApplication().setDeviceOrientation(orientation);
    settle();
    return drivenApplication().statusBarOrientation() != before
        && drivenApplication().statusBarOrientation() == orientation;
}

std::shared_ptr<Screen> DriverLifeCycle::connectScreen(const gfx::Rect& bounds, float scale)
{
    auto screen = Screen::create(bounds, scale);
    Screen::connect(screen);
    settle();
    return screen;
}

void DriverLifeCycle::disconnectScreen(const std::shared_ptr<Screen>& screen)
{
    Screen::disconnect(screen);
    settle();
}

void DriverLifeCycle::remoteControl(int subtype)
{
    drivenApplication().sendEvent(Event::remoteControl(subtype));
    settle();
}

void DriverLifeCycle::shake()
{
    drivenApplication().sendEvent(Event::motion(Event::MotionShake));
    settle();
}

} // namespace ui::testing
