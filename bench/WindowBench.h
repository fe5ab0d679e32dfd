#pragma once

// The start of the benchmark programs that show the toolkit in the desktop
// window: the home, the main run loop on this thread, GTK inside it, the
// toolkit's plain application and a main screen of `points` at one pixel
// each. Null when GTK cannot start.

#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Screen.h"
#include "Platform/Web/GtkStartup.h"

#include <memory>
#include <string>

namespace bench {

inline std::shared_ptr<ui::Application> beginWindowBench(const std::string& home, gfx::Size points)
{
    core::paths::setHome(home);
    core::RunLoop::setMainThread();
    if (!web::GtkStartup::start())
        return nullptr;
    auto application = std::make_shared<ui::Application>();
    ui::Application::setShared(application);
    gfx::Screen::main().setScale(1);
    ui::Screen::main()->setBounds({ 0, 0, points.width, points.height });
    return application;
}

} // namespace bench
