#pragma once

// What draws and lays out a VKTiledPageLayer on its behalf. The layer asks
// on a drawing thread, under its lock, for the drawing of a tile; the
// answer carries copies of everything it needs and runs after the lock is
// released, so a slow page never holds the lock a main-thread change
// (a new frame, a new representative, teardown) waits for.

#include "Platform/Graphics/Context.h"

#include <functional>

class VKTiledPageLayer;

class VKLayerRepresentative {
public:
    virtual ~VKLayerRepresentative() = default;
    // Empty: the representative does not draw.
    virtual std::function<void(gfx::Context&)> drawingForLayer(const VKTiledPageLayer& layer)
    {
        (void)layer;
        return {};
    }
    virtual bool laysOutLayer() const { return false; }
    virtual void layoutSublayersOfLayer(VKTiledPageLayer& layer) { (void)layer; }
};
