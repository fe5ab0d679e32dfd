#pragma once

// Draws layer trees through gfx::Context: a layer, a view, a window or the
// whole screen (windows by level, a plain status bar unless hidden), at any
// scale and at the clock's current time (the presentation, running
// animations sampled). Backgrounds (pattern colours phased at the layer's
// origin), corner radii, borders, clipping, masks, opacity groups,
// transforms, contents with gravity, own drawing kept as backing pictures,
// transitions from the previous frame, and the standard views drawn simply.
// Main thread only. Targets larger than 16,384 pixels a side are refused.

#include "Platform/Core/Error.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gfx {
class Context;
}

namespace ui {

class Layer;
class View;
class Window;

struct RenderOptions {
    float scale = 1;
    // The clock's time when not given.
    std::optional<double> time;
    // Real glyphs (Pango) instead of the engine in use.
    bool realText = false;
    // Only these rectangles (the target's user space) are drawn, when given:
    // what lies wholly outside them is skipped.
    std::vector<gfx::Rect> clip;
};

class Renderer {
public:
    static constexpr int MaximumSide = 16384;

    // A layer in its own bounds space; a view likewise; a window and the
    // screen in screen points.
    static void render(Layer& layer, gfx::Context& context, const RenderOptions& options = {});
    static void render(View& view, gfx::Context& context, const RenderOptions& options = {});
    static void renderScreen(gfx::Context& context, const RenderOptions& options = {});

    // Into a new picture of the bounds (the screen's bounds) × scale;
    // nothing, with the error, when that is empty or too large.
    static std::unique_ptr<gfx::BitmapContext> renderImage(View& view, const RenderOptions& options = {},
        core::Error* error = nullptr);
    static std::unique_ptr<gfx::BitmapContext> renderImage(Layer& layer, const RenderOptions& options = {},
        core::Error* error = nullptr);
    static std::unique_ptr<gfx::BitmapContext> renderScreenImage(const RenderOptions& options = {},
        core::Error* error = nullptr);
    // The same written as a PNG through a temporary file and a rename.
    static bool renderToPNGForTesting(View& view, const std::string& path, float scale = 1, core::Error* error = nullptr);
    static bool renderScreenToPNG(const std::string& path, const RenderOptions& options = {},
        core::Error* error = nullptr);

    // A view's own drawing (its standard look, then its draw); true when it
    // drew anything.
    static bool drawView(View& view, gfx::Context& context);

    // The screen as shown last, for transitions to start from, given by a
    // host that draws only what changed (a picture of the screen's bounds ×
    // scale).
    static void setPreviousScreenFrame(std::shared_ptr<gfx::Image> image, float scale);

    // Forgets the previous frame (test environment).
    static void resetForTesting();
};

} // namespace ui
