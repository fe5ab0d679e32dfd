#pragma once

// The fingers a desktop host makes out of pointers and touch sequences,
// each known by the host's own id (the mouse, its mirror for a pinch, a
// touch sequence). Every change goes to the toolkit as one touch event
// through Application::sendEvent. Ids never begun, or begun twice, are
// dropped: a device may report the end of a touch it never started.
// Main thread only.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace ui {

class Touch;

class HostTouches {
public:
    using Id = uint64_t;

    void down(const std::vector<std::pair<Id, gfx::Point>>& fingers);
    void move(const std::vector<std::pair<Id, gfx::Point>>& fingers);
    void up(const std::vector<Id>& ids);
    void cancel(const std::vector<Id>& ids);
    // Every finger down, cancelled (a broken grab, the window going away).
    void cancelAll();
    bool isDown(Id id) const { return m_fingers.count(id) > 0; }
    size_t count() const { return m_fingers.size(); }

private:
    void end(const std::vector<Id>& ids, bool cancelled);
    std::map<Id, std::shared_ptr<Touch>> m_fingers;
};

} // namespace ui
