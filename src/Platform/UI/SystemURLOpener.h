#pragma once

// The program's URL opener: hands a URL to the desktop's `xdg-open`, found
// on PATH and started directly (never through a shell), the URL as its one
// argument, its output discarded. A worker reaps it, so the main loop never
// waits. Without `xdg-open` opening answers false with one log line.

#include "Platform/Core/URL.h"

namespace ui {

class SystemURLOpener {
public:
    static bool open(const core::URL& url);
};

} // namespace ui
