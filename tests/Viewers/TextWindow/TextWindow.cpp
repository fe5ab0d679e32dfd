// A test-only program: a large log ("server.log", of the megabytes given as
// the second argument) opened in the text viewer in the desktop window, for
// the desktop check to drive from outside. Its home is the first argument.
// It prints "ready" once the window shows, "loaded H" when the whole text
// is in (H the content height) and "offset Y" whenever the text moves; the
// window's close ends it with status 0.

#include "../DesktopProgram.h"

#include "App/Shell/VKApplication.h"
#include "App/Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Host/WindowHost.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"
#include "Viewers/Text/VKTextView.h"
#include "Viewers/Text/VKTextViewController.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pthread.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HOME MEGABYTES\n", argv[0]);
        return 2;
    }
    auto application = test::startDesktopProgram(argv[1]);
    if (!application)
        return 3;
    auto& loop = core::RunLoop::main();

    std::string folder = application->documentsDirectory();
    core::fs::createDirectory(folder, true);
    std::string path = folder + "/server.log";
    {
        std::ofstream out(path, std::ios::binary);
        size_t bytes = size_t(std::atol(argv[2])) << 20;
        char line[128];
        for (size_t written = 0, number = 0; written < bytes; ++number) {
            int length = std::snprintf(line, sizeof line, "%08zu GET /status/%zu HTTP/1.1 200 — worker %zu done\n",
                number, number % 977, number % 8);
            out.write(line, length);
            written += size_t(length);
        }
    }

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle("Documents");
    auto navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window->setRootViewController(navigation);
    auto viewer = VKTextViewController::create(VKFileResource::resourceWithPath(path), nullptr);
    navigation->pushViewController(viewer, false);
    loop.runUntilIdle();
    auto host = ui::WindowHost::open({ "server.log" });
    if (!host)
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    core::Observation moved;
    std::function<void()> watch;
    watch = [&] {
        if (viewer->contentIsLoading() || !viewer->textView()) {
            loop.performAfter(0.05, watch);
            return;
        }
        std::printf("loaded %g\n", double(viewer->textView()->contentSize().height));
        std::fflush(stdout);
        moved = viewer->textView()->observeContentOffset([](const gfx::Point&, const gfx::Point& now) {
            std::printf("offset %g\n", double(now.y));
            std::fflush(stdout);
        });
    };
    watch();
    loop.run();
    // The window goes before what it shows, the stack before the
    // application.
    moved = {};
    host.reset();
    window->setRootViewController(nullptr);
    navigation.reset();
    viewer.reset();
    window.reset();
    test::endDesktopProgram();
    return 0;
}
