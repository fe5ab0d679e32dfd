#pragma once

// What the viewers' desktop-check programs share: the start of a program
// showing a viewer in the desktop window at 320 × 480 points, one pixel a
// point, with real text, and its orderly end.

#include "Shell/VKApplication.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"
#include "Viewers/Document/VKDocumentViewController.h"

#include <csignal>
#include <functional>
#include <memory>
#include <pthread.h>

namespace test {

// Signals go to the main loop (INT and TERM end the program, SIGUSR1 is
// left to the program); the home, GTK, the shared application, the screen,
// Pango text and no paging help. Null when GTK cannot start.
inline std::shared_ptr<VKApplication> startDesktopProgram(const char* home)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : { SIGINT, SIGTERM, SIGUSR1 })
        sigaddset(&blocked, signal);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    core::paths::setHome(home);
    core::RunLoop::setMainThread();
    if (!web::GtkStartup::start())
        return nullptr;
    auto application = VKApplication::create();
    ui::Application::setShared(application);
    for (int signal : { SIGINT, SIGTERM })
        core::RunLoop::main().setSignalHandler(signal, [application] { application->terminate(); });
    gfx::Screen::main().setScale(1);
    ui::Screen::main()->setBounds({ 0, 0, 320, 480 });
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::standard()->set(VKDocumentViewController::PagingGestureInfoShownKey, core::Value(true));
    return application;
}

// Whether no window is in a transition (a push, a sheet coming or going)
// and no layer animates (a bar sliding, the device's turn): what the test
// clicks then stays where it was told.
inline bool windowsAtRest()
{
    std::function<bool(const ui::Layer&)> still = [&](const ui::Layer& layer) {
        if (!layer.animationKeys().empty())
            return false;
        for (auto& sublayer : layer.sublayers())
            if (!still(*sublayer))
                return false;
        return true;
    };
    for (auto& window : ui::Window::windowsFrontToBack())
        if (window->isTransitioning() || !still(window->layer()))
            return false;
    return true;
}

// Calls `then` on the main loop once the windows are at rest (asked every
// 50 ms, the first time after what was just begun had its pass).
inline void whenAtRest(std::function<void()> then)
{
    core::RunLoop::main().performAfter(0.05, [then = std::move(then)]() mutable {
        if (windowsAtRest())
            then();
        else
            whenAtRest(std::move(then));
    });
}

// After the program let go of its window and what it shows: threads still
// at work end before the statics go.
inline void endDesktopProgram()
{
    core::RunLoop::main().runUntilIdle();
    VKImageOperationQueue::resetSharedQueue();
    core::Thread::waitForAll(8);
    ui::Application::setShared(nullptr);
}

} // namespace test
