#pragma once

// The toolkit's screen in a desktop window: one GTK window holding an
// overlay, a drawing area below (the screen, drawn by ui::Renderer) and
// the live web pages above. The window shows the portrait screen turned to
// the interface's orientation, fitted and letterboxed; pointer, touch,
// wheel, keys and the input method become toolkit events and text-input
// calls; the window's size turns the device; minimising and closing are the
// home button and the end of the application. Nothing here runs a main loop
// of its own: GLib's context runs inside the main run loop, damage is
// flushed at the end of each pass, and the frame clock ticks only while
// something animates. GTK stays in the .cpp file. Main thread only.

#include "Platform/Graphics/Geometry.h"
#include "Platform/Host/ScreenFit.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {

class HostDrops;

class WindowHost {
public:
    struct Options {
        // The application's display name: the window's title follows the
        // screen shown ("Documents — Name"), the name alone without one, the
        // screen's title alone when it names the application.
        std::string title;
        // The application's icon, PNG files in the sizes there are.
        std::vector<std::string> icons;
        // Files dropped on the window (HostDrops): their paths as dropped,
        // and how many dropped items were no local file.
        std::function<void(std::vector<std::string> paths, size_t notFiles)> filesDropped;
    };

    // Starts GTK (shared with the web views) and opens the window over the
    // main screen as it is set now (bounds in points), or where and as large
    // as it was when the last run ended (WindowPlace) on a monitor there is
    // now; null, logged, when no display can be opened. Its frame goes to
    // the settings as it moves and resizes.
    static std::unique_ptr<WindowHost> open(const Options& options);
    ~WindowHost();
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;
    // The open host, if any.
    static WindowHost* current();

    // The GtkWindow and the GtkDrawingArea (untyped: no GTK in this header).
    void* window() const;
    void* drawingAreaForTesting() const;

    // Looks for damage now (the end of each main-loop pass does), queueing
    // redraws of what changed; true when something was queued.
    bool flush();
    // The screen rectangles the last flush that found damage queued.
    const std::vector<gfx::Rect>& lastDamage() const;
    // Draws and frame-clock ticks so far; whether ticks run now.
    uint64_t drawCountForTesting() const;
    uint64_t tickCountForTesting() const;
    bool isTickingForTesting() const;
    // How the screen sits in the drawing area now.
    ScreenFit fit() const;
    // Where the input method was last told the caret is, in the drawing
    // area's pixels.
    gfx::Rect inputMethodCaretForTesting() const;
    // The window's title now.
    std::string title() const;
    // The window's drop target (what a drop's URIs bring goes through it).
    HostDrops& drops();
    // Brings the window to the front, shown again if minimised.
    void present();

    // The screen as a PNG (Renderer, real text, the display's scale) and
    // the view tree's dump beside it, into `directory`; answers the PNG's
    // path, empty on failure (logged).
    std::string writeSnapshot(const std::string& directory);

    struct Impl;

private:
    explicit WindowHost(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

} // namespace ui
