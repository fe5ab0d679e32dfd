// tool: tandry_platform_host tandry_platform_web PkgConfig::webkit2gtk_4_1 PkgConfig::gtk__3_0
// Our side of bench/ui_window/web_scroll.sh: the toolkit's screen of 768 ×
// 1024 points (one pixel each) in the desktop window, a web view filling
// it with its page live. Loads HOME/page.html, then wheels it down for
// SECONDS; prints the probe's line (WebScrollProbe.h).
//
//   web_scroll_window page HOME      writes the bench page into HOME
//   web_scroll_window HOME SECONDS   (needs a display)

#include "../WindowBench.h"
#include "../web/BenchPage.h"
#include "WebScrollProbe.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebView.h"

#include <cstdlib>
#include <cstring>

namespace {

// The page's widget in the window: the first child of a container over the
// drawing area.
GtkWidget* liveWidget(ui::WindowHost& host)
{
    GtkWidget* overlay = gtk_bin_get_child(GTK_BIN(host.window()));
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(overlay));
    for (GList* item = children; item && !found; item = item->next) {
        if (!GTK_IS_LAYOUT(item->data))
            continue;
        GList* inside = gtk_container_get_children(GTK_CONTAINER(item->data));
        if (inside)
            found = GTK_WIDGET(inside->data);
        g_list_free(inside);
    }
    g_list_free(children);
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s page HOME | HOME SECONDS\n", argv[0]);
        return 2;
    }
    if (std::strcmp(argv[1], "page") == 0) {
        std::printf("%s\n", bench::makeBenchPage(argv[2]).c_str());
        return 0;
    }
    std::string home = argv[1];
    auto application = bench::beginWindowBench(home, { 768, 1024 });
    if (!application)
        return 3;
    auto& loop = core::RunLoop::main();
    application->setStatusBarHidden(true);
    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto host = ui::WindowHost::open({ "Web", {}, {} });
    if (!host)
        return 4;
    web::WebEngine::setCurrent(web::GtkWebEngine::shared());
    auto view = web::WebView::create(window->bounds());
    window->addSubview(view);
    GtkWidget* widget = nullptr;
    if (!loop.runUntil([&] { return (widget = liveWidget(*host)) != nullptr; }, 10))
        return 5;

    bench::WebScrollProbe probe(widget, [&](const std::function<bool()>& until, double seconds) {
        return loop.runUntil(until, seconds);
    });
    // Shown and drawn once before the load, as the bare window is.
    loop.runUntil([] { return false; }, 0.5);
    probe.loadStarts();
    view->loadRequest(core::URLRequest(core::URL::fileURL(home + "/page.html")));
    if (!probe.run(std::atof(argv[2])))
        return 6;
    probe.print();
    view->removeFromSuperview();
    view.reset();
    host.reset();
    std::_Exit(0);
}
