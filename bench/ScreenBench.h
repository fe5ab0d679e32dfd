#pragma once

// Set-up shared by the benchmarks that show screens: the Renderer's options
// for real text (Pango), and the test environment with the program's
// application on a device of a given size, with WebKit as the web engine
// under the benchmark's own Xvfb for those that show web pages.

#include "Shell/VKApplication.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/Window.h"

#include <filesystem>
#include <string>

namespace bench {

inline ui::RenderOptions& realText()
{
    static ui::RenderOptions options = [] {
        ui::RenderOptions made;
        made.realText = true;
        return made;
    }();
    return options;
}

// The environment begun on a fresh `home`, the screen `points` at `scale`
// ("phone" or "tablet" as `idiom`).
inline void beginScreenBench(const std::string& home, const char* idiom, gfx::Size points, float scale)
{
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    core::paths::setHome(home);
    core::RunLoop::setMainThread();
    core::UserDefaults::setArguments({ "-DeviceIdiom", idiom });
    ui::testing::Environment::begin(VKApplication::create());
    gfx::Screen::main().setBounds({ 0, 0, points.width, points.height });
    gfx::Screen::main().setScale(scale);
    ui::testing::Environment::keyWindow()->setFrame({ 0, 0, points.width, points.height });
}

} // namespace bench
