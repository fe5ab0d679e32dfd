#pragma once

// What changed on the screen since the last look, for a host that redraws
// only there. Each collect() walks the windows' layer trees as they show
// now (the presentation, running animations sampled) and compares every
// layer's place on the screen and what it shows (geometry, transform,
// opacity, colours, contents, display marks, its place among its siblings)
// with the last walk: a layer that changed, came or went gives its old and
// new rectangles; one that animates gives its rectangle each time. The
// answer is at most MaximumRects rectangles in screen points, merged where
// that costs least, and the whole screen once they cover half of it.
// Main thread only.

#include "Platform/Graphics/Geometry.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace core {
class Object;
}

namespace ui {

class Layer;

class DamageTracker {
public:
    static constexpr size_t MaximumRects = 16;

    DamageTracker();
    ~DamageTracker();

    // The rectangles to redraw since the last call (the whole screen on the
    // first one), at the clock's time.
    std::vector<gfx::Rect> collect();
    std::vector<gfx::Rect> collect(double time);
    // From the last walk: something animates (layer animations and
    // transitions, fading tiles, a status bar fade), so the host should
    // look again next frame.
    bool isAnimating() const { return m_animating; }
    // From the last walk: a transition waits for the picture it starts from.
    bool needsPreviousFrame() const { return m_transitionStarting; }
    // The next collect answers the whole screen.
    void invalidateAll() { m_all = true; }

    // At most MaximumRects rectangles covering `rects` within `screen`:
    // whole points, covered ones dropped, the cheapest pairs merged; the
    // screen itself once they cover half of it.
    static std::vector<gfx::Rect> merge(std::vector<gfx::Rect> rects, const gfx::Rect& screen);

private:
    struct Entry {
        std::weak_ptr<core::Object> layer;
        gfx::Rect rect;
        uint64_t signature = 0;
        uint64_t walk = 0;
        bool animating = false;
    };
    void visit(Layer& layer, const gfx::AffineTransform& toScreen, const gfx::Rect& clip, size_t index,
        double time, std::vector<gfx::Rect>& damage);

    std::unordered_map<const Layer*, Entry> m_entries;
    uint64_t m_walk = 0;
    uint64_t m_statusBar = 0;
    bool m_all = true;
    bool m_animating = false;
    bool m_transitionStarting = false;
};

} // namespace ui
