#pragma once

// A desktop window's pointer: where it hovers (the window host tells; none
// once it left the window) and the touches it holds down. Owned by the
// application, which hands it every touch event. Screens ask whether it
// rests on one of their views, so that bars do not go from under it.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/Responder.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class Event;
class View;

class Pointer {
public:
    // On the screen, in points.
    std::optional<gfx::Point> hoverLocation() const { return m_hover; }
    void setHoverLocation(std::optional<gfx::Point> locationOnScreen) { m_hover = locationOnScreen; }
    // Follows the touches that go down and up.
    void touchesChanged(const TouchSet& touches);
    // Whether the pointer hovers over `view` (shown in a window) or a touch
    // held down began on it or inside it.
    bool isOn(const View& view) const;
    // The tooltip of the front-most view under the hovering pointer, or of
    // the nearest view around it that has one; empty when none does.
    std::string hoveredToolTip() const;

private:
    std::optional<gfx::Point> m_hover;
    std::vector<std::weak_ptr<Touch>> m_down;
};

} // namespace ui
