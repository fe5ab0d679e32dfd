#pragma once

// The keyboard of a desktop host: keys and the input method become
// text-input calls on the key window's first responder, remote-control
// events and the host's own commands (quit, turn), and the general
// pasteboard's text follows the desktop's clipboard both ways. One input
// method context, focused while a text input is first responder, sees every
// key first; what it composes shows as marked text. GTK stays in the .cpp.
// Main thread only.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Orientation.h"

#include <functional>
#include <memory>
#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkEventKey GdkEventKey;

namespace ui {

class ScreenFit;
class TextInput;

class HostKeys {
public:
    // Keys come to `window`; the input method's windows stand by `area`,
    // where the screen shows as `fit` says. `turned` hears the device's new
    // orientation after Ctrl+Left/Right.
    HostKeys(GtkWidget* window, GtkWidget* area, std::function<ScreenFit()> fit,
        std::function<void(Orientation)> turned);
    ~HostKeys();
    HostKeys(const HostKeys&) = delete;
    HostKeys& operator=(const HostKeys&) = delete;

    // True when the key was taken.
    bool keyPress(GdkEventKey* event);
    bool keyRelease(GdkEventKey* event);
    // The window got the focus: the desktop's clipboard text comes in.
    void focusIn();
    // Once a pass: the input method follows the first responder and its
    // caret, the pasteboard's changes go out to the desktop.
    void follow();
    // The caret's rectangle last given to the input method, in the area's
    // pixels (empty before any).
    gfx::Rect caretLocation() const;

    // Valid UTF-8 (invalid bytes become U+FFFD).
    static std::string validText(const char* text, size_t length);
    // Longest text taken from the clipboard, in bytes.
    static constexpr size_t MaximumClipboardText = 1 << 20;

    struct Impl;

private:
    std::shared_ptr<Impl> m;
};

} // namespace ui
