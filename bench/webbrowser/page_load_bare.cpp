// tool: PkgConfig::webkit2gtk_4_1 PkgConfig::gtk__3_0
// The browser's page-load peer: bare WebKitGTK (bench/web/BareWebKit.h),
// one view in one process for the whole run, as the browser keeps its own.
// Reads one URL a line from standard input; the view loads it and the
// program prints the milliseconds from the load call to the load's end
// ("-1" on a failure), so that the benchmark can alternate with it.
// Usage: page_load_bare < URLS (needs a display).

#include "../web/BareWebKit.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    Clock::time_point start;
    double finished = 0;
    bool done = false;
};

void loadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data)
{
    auto* run = static_cast<Run*>(data);
    if (event != WEBKIT_LOAD_FINISHED || run->done)
        return;
    run->finished = std::chrono::duration<double, std::milli>(Clock::now() - run->start).count();
    run->done = true;
}

gboolean loadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data)
{
    auto* run = static_cast<Run*>(data);
    run->finished = -1;
    run->done = true;
    return FALSE;
}

} // namespace

int main()
{
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr))
        return 1;
    WebKitWebContext* context = bench::makeBareContext();
    GtkWidget* window = nullptr;
    WebKitWebView* view = bench::makeBareView(context, &window);
    Run run;
    g_signal_connect(view, "load-changed", G_CALLBACK(loadChanged), &run);
    g_signal_connect(view, "load-failed", G_CALLBACK(loadFailed), &run);
    for (std::string url; std::getline(std::cin, url);) {
        run = Run {};
        run.start = Clock::now();
        webkit_web_view_load_uri(view, url.c_str());
        while (!run.done)
            g_main_context_iteration(nullptr, TRUE);
        std::printf("%.2f\n", run.finished);
        std::fflush(stdout);
    }
    gtk_widget_destroy(window);
    return 0;
}
