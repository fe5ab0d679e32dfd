// A test-only program: a large log ("server.log", of the megabytes given as
// the second argument) opened in the text viewer in the desktop window, for
// the desktop check to drive from outside. Its home is the first argument.
// It prints "ready" once the window shows, "loaded H" when the whole text
// is in (H the content height), "offset Y" whenever the text moves,
// "encoding E" with the encoding of each load, "bars 1" or "bars 0" as the
// bars have come and gone, "list" when the viewer has been left, and where
// things show for the test to click: "at TEXT X Y" for each text shown
// (buttons, rows, labels) and "item ACTION X Y" for toolbar items, all but
// the offsets told only while nothing animates; the window's close ends it
// with status 0.

#include "../DesktopProgram.h"

#include "Shell/VKApplication.h"
#include "App/Viewers/VKViewController.h"
#include "Shell/VKNavigationController.h"
#include "FileModel/VKFileResource.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Testing/Driver.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"
#include "Viewers/Text/VKTextView.h"
#include "Viewers/Text/VKTextViewController.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pthread.h>
#include <map>
#include <set>
#include <string>

namespace {

// Prints each line once.
void say(std::set<std::string>& said, const std::string& line)
{
    if (said.insert(line).second) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

bool shown(const ui::View& view)
{
    for (const ui::View* at = &view; at; at = at->superview())
        if (at->isHidden() || at->alpha() <= 0)
            return false;
    return view.window() != nullptr;
}

// Where the texts and toolbar items of every window show, in screen points:
// a line when a text first shows or moves (the first view showing it, front
// window first).
void reportPlaces(std::map<std::string, std::string>& places)
{
    std::set<std::string> seen;
    auto say = [&](const std::string& what, const std::string& place) {
        if (!seen.insert(what).second || places[what] == place)
            return;
        places[what] = place;
        std::printf("%s %s\n", what.c_str(), place.c_str());
        std::fflush(stdout);
    };
    auto place = [](const ui::View& view) {
        gfx::Point centre = ui::testing::Driver::centerOnScreen(view);
        return std::to_string(int(centre.x)) + " " + std::to_string(int(centre.y));
    };
    std::function<void(const ui::View&)> walk = [&](const ui::View& view) {
        std::string text = view.debugText();
        if (!text.empty() && text.size() <= 40 && text.find('\n') == std::string::npos && shown(view))
            say("at " + text, place(view));
        for (const auto& subview : view.subviews())
            walk(*subview);
    };
    for (auto& window : ui::Window::windowsFrontToBack()) {
        walk(*window);
        for (auto& toolbar : window->findViews<ui::Toolbar>())
            for (auto& item : toolbar->items())
                if (auto view = item->view(); view && shown(*view)
                    && item->hasAction(VKViewController::ShowDocumentActionSheetAction))
                    say(std::string("item ") + VKViewController::ShowDocumentActionSheetAction, place(*view));
    }
}

} // namespace

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
    auto host = ui::WindowHost::open({ "server.log", {}, {} });
    if (!host)
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);
    core::Observation moved;
    std::set<std::string> said;
    std::map<std::string, std::string> places;
    std::weak_ptr<ui::TextStorage> toldText;
    int bars = -1;
    std::function<void()> watch;
    bool running = true;
    watch = [&] {
        if (!running)
            return;
        loop.performAfter(0.1, watch);
        // Places and bars are told at rest only: a click then meets what it
        // was aimed at, not a bar or sheet still sliding in.
        if (!test::windowsAtRest())
            return;
        reportPlaces(places);
        if (navigation->topViewController() == list.get()) {
            say(said, "list");
            return;
        }
        if (int now = navigation->isNavigationBarHidden() ? 0 : 1; now != bars) {
            bars = now;
            std::printf("bars %d\n", bars);
            std::fflush(stdout);
        }
        // A load (the first or one in another encoding) has ended once the
        // viewer holds a text not told yet and loads no more. (Sampling
        // "loading" here would miss a reload that starts and ends while the
        // encodings sheet still slides away.) The weak pointer keeps
        // the told text's control block, so a new text is never taken for
        // it.
        if (viewer->contentIsLoading() || !viewer->textView())
            return;
        const auto& text = viewer->textView()->textStorage();
        if (!text || (!toldText.owner_before(text) && !text.owner_before(toldText)))
            return;
        toldText = text;
        std::printf("encoding %s\nloaded %g\n", viewer->currentTextEncoding().c_str(),
            double(viewer->textView()->contentSize().height));
        std::fflush(stdout);
        moved = viewer->textView()->observeContentOffset([](const gfx::Point&, const gfx::Point& now) {
            std::printf("offset %g\n", double(now.y));
            std::fflush(stdout);
        });
    };
    watch();
    loop.run();
    running = false;
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
