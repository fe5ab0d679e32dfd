#pragma once

// The bare WebKitGTK set-up the web benchmarks' peers share: the web view's
// settings as our web layer sets them and an ephemeral context (sandboxed
// where bubblewrap runs), with no toolkit around them.

#include <webkit2/webkit2.h>

#include <cstdlib>

namespace bench {

inline WebKitSettings* makeBareSettings()
{
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_smooth_scrolling(settings, FALSE);
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    return settings;
}

inline WebKitWebContext* makeBareContext()
{
    WebKitWebContext* context = webkit_web_context_new_ephemeral();
    if (std::system("bwrap --ro-bind / / --unshare-all --die-with-parent true >/dev/null 2>&1") == 0)
        webkit_web_context_set_sandbox_enabled(context, TRUE);
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return context;
}

// A view of `settings` in an offscreen window of 640 × 960 pixels at zoom 2
// (320 × 480 points at scale 2); the window holds it.
inline WebKitWebView* makeBareView(WebKitWebContext* context, GtkWidget** window)
{
    WebKitSettings* settings = makeBareSettings();
    *window = gtk_offscreen_window_new();
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "settings", settings, nullptr));
    g_object_unref(settings);
    gtk_widget_set_size_request(GTK_WIDGET(view), 640, 960);
    gtk_container_add(GTK_CONTAINER(*window), GTK_WIDGET(view));
    gtk_widget_show_all(*window);
    webkit_web_view_set_zoom_level(view, 2);
    return view;
}

} // namespace bench
