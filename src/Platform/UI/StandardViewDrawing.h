#pragma once

// How the toolkit's standard views look when rendered: flat, simple and
// readable shapes (rounded buttons, a capsule switch with ON/OFF, slider
// track and thumb, segment boxes, bars, a spoked spinner, bordered fields
// with grey placeholders). Text goes through the text engine in use.

namespace gfx {
class Context;
class Image;
struct Rect;
} // namespace gfx

namespace ui {

class View;
struct StretchableImage;

class StandardViewDrawing {
public:
    // Draws the standard look of `view` in its bounds space; false when it
    // is no standard view with a look of its own.
    static bool draw(View& view, gfx::Context& context);

    // Shared pieces for the drawing of other views. The rounded rectangle
    // is added to the current path (radius limited to half a side).
    static void addRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius);
    static void fillRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius);
    static void strokeRoundedRect(gfx::Context& context, const gfx::Rect& rect, float radius);
    static void drawStretchable(gfx::Context& context, const gfx::Rect& rect, const StretchableImage& image);
    static void drawChevron(gfx::Context& context, const gfx::Rect& rect);
    static void drawCheckmark(gfx::Context& context, const gfx::Rect& rect);
};

} // namespace ui
