#pragma once

// The view tree as text, one line per view indented by depth, windows
// front first: class, frame in the superview, flags (hidden, alpha,
// no-interaction, first-responder, tag) and the view's text. Tests read it
// through the driver; a running program writes it on request.

#include <string>

namespace ui {

class View;

class ViewTreeDump {
public:
    static std::string line(const View& view);
    // Every window's tree, pending layout run first.
    static std::string dump();
};

} // namespace ui
