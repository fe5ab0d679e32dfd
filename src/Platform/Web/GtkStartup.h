#pragma once

// Starts GTK once for the process, on the main thread, for the web views
// and the desktop window alike: the remote inspector's variables leave the
// environment, the engine's caches go below the home, GLib's default context
// joins the main run loop (core::GLibMainContextBridge) and the display
// opens. Never gtk_main: the main run loop drives everything.

namespace web {

class GtkStartup {
public:
    // True when GTK runs (now or from an earlier call); false, logged once,
    // when no display can be opened.
    static bool start();
    static bool isStarted();
    // The display's scale (2 on a high-density screen or with GDK_SCALE=2):
    // 1 before GTK runs.
    static int scaleFactor();
};

} // namespace web
