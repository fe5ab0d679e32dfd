#pragma once

// Printing through GTK's print dialog: a presented print panel runs one
// asynchronous print operation (no nested loop) over what it prints, in
// order, one sheet per page: PDF pages drawn by poppler and images, each
// fitted to the sheet; a view formatter's view drawn by the Renderer, page
// by page at the sheet's width. A web view's formatter prints its page
// through the engine's own print operation, after GTK's print dialog shown
// without a loop of its own. Its end completes the panel: done, cancelled,
// or failed with GTK's (or the engine's) message, which "Cannot Print"
// shows. Dismissing the panel closes its dialog and stops its job, which
// then prints nothing. Main thread only.

#include <string>

namespace ui {

class PrintInteractionController;

class DesktopPrinting {
public:
    // Panels print through the dialog over `parent` (a GtkWindow) from now
    // on, and printing is available; uninstall() makes it headless again.
    static void install(void* parent);
    static void uninstall();
    // Prints straight into a PDF at `path` instead of showing the dialog
    // (empty: the dialog again).
    static void setExportPathForTesting(std::string path);
    static void print(PrintInteractionController& controller);
};

} // namespace ui
