// tool: PkgConfig::webkit2gtk_4_1 PkgConfig::gtk__3_0
// The bare path the web view's first paint is measured against: a
// WebKitWebView in an offscreen window with the web view's settings, no
// toolkit around it. For each of N runs a fresh view loads the page; one
// line per run: milliseconds from the load call to the load's end and to its
// first picture, and the web process's resident kilobytes then.
// Usage: first_paint_bare FILE RUNS (needs a display).

#include "BareWebKit.h"
#include "WebProcessMemory.h"

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    Clock::time_point start;
    double finished = 0;
    double painted = 0;
    bool done = false;
};

double since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}


void snapshotTaken(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* run = static_cast<Run*>(data);
    cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
    run->painted = since(run->start);
    if (surface)
        cairo_surface_destroy(surface);
    run->done = true;
}

void loadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data)
{
    auto* run = static_cast<Run*>(data);
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    run->finished = since(run->start);
    webkit_web_view_get_snapshot(view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
        snapshotTaken, run);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: first_paint_bare FILE RUNS\n");
        return 2;
    }
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr))
        return 1;
    WebKitWebContext* context = bench::makeBareContext();
    gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
    int runs = atoi(argv[2]);
    for (int i = 0; i < runs; ++i) {
        Run run;
        GtkWidget* window = nullptr;
        WebKitWebView* view = bench::makeBareView(context, &window);
        g_signal_connect(view, "load-changed", G_CALLBACK(loadChanged), &run);
        run.start = Clock::now();
        webkit_web_view_load_uri(view, uri);
        while (!run.done)
            g_main_context_iteration(nullptr, TRUE);
        std::printf("%.1f %.1f %ld\n", run.finished, run.painted, bench::webProcessKilobytes());
        std::fflush(stdout);
        gtk_widget_destroy(window);
        for (int spin = 0; spin < 50 && g_main_context_pending(nullptr); ++spin)
            g_main_context_iteration(nullptr, FALSE);
    }
    g_free(uri);
    return 0;
}
