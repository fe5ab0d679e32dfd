#pragma once

// How often each layer's picture was marked to change (display marks, new
// contents, arrived tiles), kept beside the layers for the damage tracker:
// a count that moved on means the layer's place needs drawing again. Any
// thread.

#include <cstdint>

namespace ui {

class Layer;

class LayerDisplayMarks {
public:
    static void note(const Layer* layer);
    static uint64_t count(const Layer* layer);
    // The layer goes.
    static void forget(const Layer* layer);
};

} // namespace ui
