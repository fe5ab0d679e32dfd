#pragma once

// The program's window under the tests' own Xvfb, driven from outside as a
// person's desktop would: xdotool for input and window sizes, SIGUSR1 for
// the program's own picture and view tree, ImageMagick's import for what
// the display shows, python3-xlib for the window manager's close request.

#include "Support/TestCase.h"

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test {

class ProgramWindowTestCase : public TestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program on the test's "home" with `extra` arguments and
    // `environment` ("NAME=value") added, and finds its window.
    void start(std::vector<std::string> extra = {}, std::vector<std::string> environment = {});
    // What the program wrote to standard error up to `text` (or its end).
    std::string readUntil(std::string_view text);
    // Reads what the program wrote to standard error so far, without
    // waiting.
    void drainErrors();
    // SIGUSR1: the program's view tree, once it and the picture are written
    // to the home's tmp ("screen.png", "screen-dump.txt").
    std::string snapshot();
    std::string programPicture() { return pathInHome("home/tmp/screen.png"); }
    // The exit status once the program ended (−1 when it did not in 10 s).
    int exitStatus();

    // The centre of the first view whose dump line contains `text`, in the
    // window's points (frames added up their ancestors, none scrolled).
    static std::optional<std::pair<int, int>> centreOf(const std::string& dump, const std::string& text);
    // Whether no screen of the program's windows slides (a push, a pop, a
    // presentation): a click then reaches what the dump shows, where one
    // during a slide reaches nothing.
    static bool atRest(const std::string& dump);
    // Polls the program's dump until a line contains `text` with its
    // windows at rest; the view's centre.
    std::optional<std::pair<int, int>> waitForView(const std::string& text, double seconds = 30);
    // Polls the program's dump until the condition holds for it with its
    // windows at rest.
    bool waitForDump(const std::function<bool(const std::string&)>& condition, double seconds = 30);
    // Asks the condition every 20 ms until it holds; false after `seconds`.
    static bool until(const std::function<bool()>& condition, double seconds = 30);
    // Whether the condition holds each time it is asked for `seconds`: what
    // must not happen (a picture moving while paused) is watched for that
    // long.
    static bool stays(const std::function<bool()>& condition, double seconds);
    // Waits until what the display shows of the window is the program's
    // own picture of its screen (at most `share` of the pixels apart), so
    // the last frame of a change is drawn; both pictures are left at
    // `shown` and programPicture(). False after `seconds`.
    bool waitForDisplay(const std::string& shown, double share = 0.03, double seconds = 40);
    // Waits until what the display shows of the X window `which` ("root":
    // the whole display) holds still: two pictures in a row at most 0.2 %
    // apart, the last left at `shown`. False after `seconds`.
    bool waitForStillDisplay(const std::string& shown, const std::string& which, double seconds = 40);
    // The last dump the program wrote, for failure messages.
    std::string lastDump() { return readFile(pathInHome("home/tmp/screen-dump.txt")); }
    // Starts the program as a phone and goes past the first launch's alert
    // into the private documents folder, whose list settles (its first
    // launch adds rows) until `row` shows.
    void openDocuments(const std::string& row, std::vector<std::string> extra = {},
        std::vector<std::string> environment = {});
    // Clicks the bar's "Back" (after `showBars` brings the bars back) until
    // the dump satisfies `returned`, three tries at most; then the window
    // manager's close must end the program with 0.
    void goBackAndClose(const std::function<void()>& showBars,
        const std::function<bool(const std::string&)>& returned);
    void xdotool(std::vector<std::string> arguments);
    void click(int x, int y);
    void click(std::pair<int, int> at) { click(at.first, at.second); }
    void doubleClick(int x, int y);
    // Presses at the first point, moves to the second in steps and lets go.
    void drag(int x0, int y0, int x1, int y1);
    // Types the text (xdotool's key names for Return and the like go
    // through `key`).
    void type(const std::string& text);
    void key(const std::string& name);
    // Keeps what the display shows as build/screens/<folder>/<name>.png and,
    // when `withProgramPicture`, the program's own picture and view tree
    // beside it (<name>-renderer.png, <name>-dump.txt), once the display
    // shows that picture (a failure when it does not in 20 s).
    void keep(const std::string& folder, const std::string& name, bool withProgramPicture = false);
    // The same pictures (and view tree) as they are now, without waiting.
    void keepAsTaken(const std::string& folder, const std::string& name);
    // What the display shows of the window, as a PNG at `path`.
    void importWindow(const std::string& path, const std::string& which = {});
    // The share of pixels of two pictures further apart than 3.2 % (8 of
    // 255 levels); 1 when they cannot be compared.
    static double differingShare(const std::string& a, const std::string& b);

private:
    // Copies the program's picture and view tree to <stem>-renderer.png
    // and <stem>-dump.txt.
    void keepProgramPicture(const std::string& stem);

protected:

    pid_t pid = -1;
    int errors = -1;
    std::string output;
    std::string window;
};

} // namespace test
