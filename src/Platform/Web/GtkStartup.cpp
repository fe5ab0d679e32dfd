#include "Platform/Web/GtkStartup.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/GLibMainContextBridge.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"

#include <csignal>
#include <cstdlib>
#include <gtk/gtk.h>
#include <string>

namespace web {

namespace {

enum class State { NotTried, Running, Failed };
State state = State::NotTried;

bool hasDisplay()
{
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

bool GtkStartup::start()
{
    if (state != State::NotTried)
        return state == State::Running;
    if (!core::RunLoop::main().isCurrent())
        throw core::Exception(core::Exception::InternalInconsistency, "GtkStartup::start: not on the main thread");
    // No remote inspector, whatever the environment asks for.
    unsetenv("WEBKIT_INSPECTOR_SERVER");
    unsetenv("WEBKIT_INSPECTOR_HTTP_SERVER");
    // The accessibility bus is not used; without this every web process
    // warns that it cannot reach it.
    setenv("NO_AT_BRIDGE", "1", 0);
    // WebKit's script engine stops its threads with SIGUSR1 unless told
    // another signal, and takes the signal over from the process, which
    // asks its window for a picture with it: once a page was made, the
    // next request crashed the program.
    setenv("JSC_SIGNAL_FOR_GC", std::to_string(SIGRTMIN + 7).c_str(), 0);
    std::string home = core::paths::home();
    if (!home.empty()) {
        std::string cache = core::path::appendingPathComponent(home, "tmp/WebKit");
        core::Error error;
        if (core::fs::createDirectory(cache, true, &error))
            setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        // GStreamer's plugin registry would follow the cache home into tmp/,
        // which each quit empties, and rebuilding it loads every plugin:
        // half a second of CPU at the first movie or sound of each launch,
        // here and in the web processes. It holds nothing private, so it
        // stays in the lasting caches, unless the environment names one.
        if (core::fs::createDirectory(core::paths::caches(), true, &error))
            setenv("GST_REGISTRY", (core::paths::caches() + "/gstreamer-registry.bin").c_str(), 0);
    }
    if (!hasDisplay()) {
        core::log("Warning, no display: web content is not shown");
        state = State::Failed;
        return false;
    }
    // The process keeps its own locale: GTK would switch it to the user's.
    gtk_disable_setlocale();
    if (!gtk_init_check(nullptr, nullptr)) {
        core::log("Warning, the display cannot be opened: web content is not shown");
        state = State::Failed;
        return false;
    }
    core::GLibMainContextBridge::install();
    state = State::Running;
    return true;
}

bool GtkStartup::isStarted()
{
    return state == State::Running;
}

int GtkStartup::scaleFactor()
{
    if (state != State::Running)
        return 1;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return 1;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    int factor = monitor ? gdk_monitor_get_scale_factor(monitor) : 1;
    return factor > 0 ? factor : 1;
}

} // namespace web
