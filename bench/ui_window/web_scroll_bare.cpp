// tool: PkgConfig::webkit2gtk_4_1 PkgConfig::gtk__3_0
// The bare peer of bench/ui_window/web_scroll.sh: a GtkWindow of 768 × 1024
// pixels holding only a WebKitWebView with the web view's settings
// (bench/web/BareWebKit.h), its own GLib loop, no toolkit. Loads FILE, then
// wheels it down for SECONDS; prints the probe's line (WebScrollProbe.h).
// Usage: web_scroll_bare FILE SECONDS (needs a display).

#include "../web/BareWebKit.h"
#include "WebScrollProbe.h"

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: web_scroll_bare FILE SECONDS\n");
        return 2;
    }
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr))
        return 1;
    WebKitWebContext* context = bench::makeBareContext();
    WebKitSettings* settings = bench::makeBareSettings();
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 768, 1024);
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr));
    g_object_unref(settings);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_show_all(window);

    auto spin = [](const std::function<bool()>& until, double seconds) {
        auto end = bench::WebScrollProbe::Clock::now() + std::chrono::duration<double>(seconds);
        // Wakes every 10 ms to look at the time.
        guint ticker = g_timeout_add(10, [](gpointer) { return gboolean(G_SOURCE_CONTINUE); }, nullptr);
        bool met = until();
        while (!met && bench::WebScrollProbe::Clock::now() < end) {
            g_main_context_iteration(nullptr, TRUE);
            met = until();
        }
        g_source_remove(ticker);
        return met;
    };
    bench::WebScrollProbe probe(GTK_WIDGET(view), spin);
    // Shown and drawn once before the load, as our window is.
    spin([] { return false; }, 0.5);
    gchar* uri = g_filename_to_uri(argv[1], nullptr, nullptr);
    probe.loadStarts();
    webkit_web_view_load_uri(view, uri);
    g_free(uri);
    if (!probe.run(std::atof(argv[2])))
        return 3;
    probe.print();
    gtk_widget_destroy(window);
    return 0;
}
