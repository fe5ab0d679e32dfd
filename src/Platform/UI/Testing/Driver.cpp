#include "Platform/UI/Testing/Driver.h"

#include "Platform/UI/Renderer.h"
#include "Platform/UI/TiledLayer.h"
#include "Platform/UI/ViewTreeDump.h"
#include "Platform/UI/Window.h"

namespace ui::testing {

// The parts are handed the bases they step through as their own class (a
// Driver is also each part, so a plain *this would be ambiguous).
Driver::Driver()
    : DriverBars(static_cast<DriverTouches&>(*this))
    , DriverTables(static_cast<DriverTouches&>(*this))
    , DriverTyping(static_cast<DriverTouches&>(*this))
    , DriverChoices(static_cast<DriverTouches&>(*this))
    , DriverServices(static_cast<DriverTouches&>(*this), static_cast<DriverBars&>(*this),
          static_cast<DriverTables&>(*this))
{
}

Driver::~Driver() = default;

std::string Driver::dumpLine(const View& view)
{
    return ViewTreeDump::line(view);
}

std::string Driver::dump() const
{
    return ViewTreeDump::dump();
}

bool Driver::screenshot(const std::string& path, const ScreenshotOptions& options, core::Error* error)
{
    for (auto& window : Window::allWindows())
        window->layoutIfNeeded();
    if (options.completeTiles)
        TiledLayer::renderAllVisibleTilesSynchronously();
    RenderOptions render;
    render.scale = options.scale;
    render.realText = options.realText;
    return Renderer::renderScreenToPNG(path, render, error);
}

} // namespace ui::testing
