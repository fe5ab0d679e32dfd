#pragma once

// The X display of tests that need one (web views, the window host): one
// Xvfb per test program, started on first use (24-bit colour, a display
// number drawn at random), ended with the program. GTK is pointed at it
// before its first call: DISPLAY set, GDK_BACKEND=x11, WAYLAND_DISPLAY
// cleared.

#include "Support/Command.h"

#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <vector>

namespace test {

// An Xvfb server on a display number drawn at random, its screen as
// Xvfb's -screen takes it ("1280x1024x24"); ended with the object or the
// test program, or killed at will (a display that dies).
class XvfbServer {
public:
    explicit XvfbServer(const std::string& screen);
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    // ":N"; empty when it could not start.
    const std::string& display() const { return m_display; }
    // Ends the server and waits for it; SIGTERM lets it remove its lock and
    // socket files.
    void kill(int signal = SIGTERM);

private:
    // Starts Xvfb on display `number`; m_display is set when it listens.
    void launch(const std::string& screen, int number);

    pid_t m_pid = -1;
    std::string m_display;
};

class XvfbDisplay {
public:
    // Starts the program's Xvfb (later calls answer the same); false when it
    // cannot run here.
    static bool start();
    // ":N" once started.
    static const std::string& display();
    // Asks the window (an X id in decimal) to close as a window manager
    // would (WM_DELETE_WINDOW, sent by python3-xlib); python's output when
    // that fails.
    static bool requestClose(const std::string& window, std::string* output = nullptr);
    // Lays a window of another client over the window (an X id in
    // decimal) for `seconds` and takes it away, so the window is exposed
    // as a person's other windows would.
    static bool coverAndUncover(const std::string& window, double seconds = 0.3);
    // Drops the URIs on the window (an X id in decimal) at its point (x, y)
    // as a desktop's file manager does: an XDND source (python3-xlib)
    // offers them as text/uri-list and waits until the window says it
    // finished; python's output when that fails.
    static bool dropURIs(const std::string& window, int x, int y, const std::vector<std::string>& uris,
        std::string* output = nullptr);
    // Runs xdotool with `arguments` and returns once the server has handled
    // what it sent.
    static CommandResult xdotool(std::vector<std::string> arguments);
    // What the display shows of the X window `which` ("root": the whole
    // display), as a PNG at `path` (ImageMagick's import).
    static CommandResult importWindow(const std::string& which, const std::string& path);
    // The share of pixels of two pictures further apart than 3.2 % (8 of
    // 255 levels); 1 when they cannot be compared.
    static double differingShare(const std::string& a, const std::string& b);
};

} // namespace test

// Skips the test where no display can be had, and fails it where CI=true:
// continuous integration must run it.
#define TANDRY_REQUIRE_DISPLAY()                                                                         \
    do {                                                                                                  \
        if (!::test::XvfbDisplay::start()) {                                                              \
            const char* ci = std::getenv("CI");                                                           \
            if (ci && std::string(ci) == "true")                                                          \
                FAIL() << "Xvfb cannot run; this test needs a display";                                  \
            GTEST_SKIP() << "Xvfb cannot run; this test needs a display";                                \
        }                                                                                                 \
    } while (0)
