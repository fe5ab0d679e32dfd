#pragma once

// Windows on screens other than the main one (a connected external
// display). A window put on a screen takes that screen's bounds; only that
// screen draws it, and the main screen's touches, hit tests and pictures
// never see it. A window on no screen, or on the main one, is the main
// screen's.

#include "Platform/Core/Error.h"
#include "Platform/UI/Renderer.h"

#include <memory>
#include <vector>

namespace gfx {
class BitmapContext;
}

namespace ui {

class Screen;
class Window;

std::shared_ptr<Screen> screenOfWindow(const Window& window);
// Null (or the main screen) puts it back on the main screen.
void setScreenOfWindow(Window& window, const std::shared_ptr<Screen>& screen);
// The windows of a screen other than the main one, highest first.
std::vector<std::shared_ptr<Window>> windowsOnScreen(const Screen& screen);
// Whether the window shows on the main screen.
bool isOnMainScreen(const Window& window);
// A window that goes leaves its screen (the window's destructor).
void forgetScreenOfWindow(const Window* window);

// The screen's windows drawn into a new picture of its bounds × scale
// (the main screen's with its status bar, as Renderer draws it).
std::unique_ptr<gfx::BitmapContext> renderScreenImage(const Screen& screen, const RenderOptions& options = {},
    core::Error* error = nullptr);
bool renderScreenToPNG(const Screen& screen, const std::string& path, const RenderOptions& options = {},
    core::Error* error = nullptr);

} // namespace ui
