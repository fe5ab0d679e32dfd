#pragma once

// Drives the toolkit as a person would, through public entry points only,
// and reads back what a test needs. Its steps come from the parts it is
// made of, each its own class: the application's life cycle, rotation and
// screens (DriverLifeCycle); touches, gestures, controls and hovering
// (DriverTouches); bar items and navigation stacks (DriverBars); tables
// (DriverTables); typing and keys (DriverTyping); alerts, sheets, the
// open-in menu and popovers (DriverChoices); and the device's services
// (DriverServices). The parts that touch share its one set of fingers.
// A step that cannot be done as asked (a tap on a hidden or covered view,
// or outside every window) throws core::Exception named "DriverFailure"
// with the dump lines that show why. Time moves only on the test clock:
// steps that take time advance it.

#include "Platform/UI/Testing/DriverBars.h"
#include "Platform/UI/Testing/DriverChoices.h"
#include "Platform/UI/Testing/DriverLifeCycle.h"
#include "Platform/UI/Testing/DriverServices.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTables.h"
#include "Platform/UI/Testing/DriverTouches.h"
#include "Platform/UI/Testing/DriverTyping.h"

#include <string>

namespace ui::testing {

class Driver
    : public DriverTouches
    , public DriverLifeCycle
    , public DriverBars
    , public DriverTables
    , public DriverTyping
    , public DriverChoices
    , public DriverServices {
public:
    static constexpr const char* Failure = DriverFailure;

    Driver();
    ~Driver();

    // Every window's view tree, front window first, one line per view:
    // indentation, class, frame, flags and text.
    std::string dump() const;
    static std::string dumpLine(const View& view);

    // Renders the screen to a PNG at `scale` (pending layout run and, unless
    // told not to, visible tiles drawn first); false with the error when it
    // cannot be written (no file is left then).
    struct ScreenshotOptions {
        float scale = 1;
        bool completeTiles = true;
        bool realText = false;
    };
    bool screenshot(const std::string& path, const ScreenshotOptions& options, core::Error* error = nullptr);
    bool screenshot(const std::string& path, core::Error* error = nullptr) { return screenshot(path, {}, error); }
};

} // namespace ui::testing
