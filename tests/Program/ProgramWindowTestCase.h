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
    // Polls the program's dump until a line contains `text`; its centre.
    std::optional<std::pair<int, int>> waitForView(const std::string& text, double seconds = 10);
    // Polls the program's dump until the condition holds for it.
    bool waitForDump(const std::function<bool(const std::string&)>& condition, double seconds = 10);
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
    // beside it (<name>-renderer.png, <name>-dump.txt).
    void keep(const std::string& folder, const std::string& name, bool withProgramPicture = false);
    // What the display shows of the window, as a PNG at `path`.
    void importWindow(const std::string& path);
    // The share of pixels of two pictures further apart than 3.2 % (8 of
    // 255 levels); 1 when they cannot be compared.
    static double differingShare(const std::string& a, const std::string& b);

    pid_t pid = -1;
    int errors = -1;
    std::string output;
    std::string window;
};

} // namespace test
