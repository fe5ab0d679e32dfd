#pragma once

// The layers drawn straight into each render's target instead of into a
// backing picture of their own, kept beside the layers: for cheap drawing
// over a large area (a row's fill and rule, the lines of a scrolled text),
// where a picture would hold its area in memory and be copied again for
// every frame. Such a layer's drawing runs at each render, clipped to its
// bounds; its display marks still tell the damage tracker where to draw.
// Any thread.

namespace ui {

class Layer;

class LayerInPlaceDrawing {
public:
    static void mark(const Layer* layer);
    static bool contains(const Layer* layer);
    // The layer goes.
    static void forget(const Layer* layer);
};

} // namespace ui
