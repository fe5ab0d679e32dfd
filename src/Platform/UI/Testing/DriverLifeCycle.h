#pragma once

// The test driver's device and application steps: the life cycle from
// launch to termination, URLs handed to the application, memory warnings,
// turning the device, external screens coming and going, remote-control
// events and shakes. Each step lets the run loop settle before it returns.

#include "Platform/Core/URL.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Orientation.h"

#include <memory>

namespace ui {
class Screen;
} // namespace ui

namespace ui::testing {

class DriverLifeCycle {
public:
    void launch(const core::Value& options = {});
    void launchWithURL(const core::URL& url);
    void resignActive();
    void enterBackground();
    void enterForeground();
    void terminate();
    bool openURL(const core::URL& url);
    void memoryWarning();

    // Turns the device; answers whether the interface turned with it.
    bool rotate(Orientation orientation);

    std::shared_ptr<Screen> connectScreen(const gfx::Rect& bounds, float scale);
    void disconnectScreen(const std::shared_ptr<Screen>& screen);

    void remoteControl(int subtype);
    void shake();
};

} // namespace ui::testing
