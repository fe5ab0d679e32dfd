#pragma once

// A drawing destination with the device's graphics-state model: a stack of
// states (transform, clip, colours, line width, interpolation quality) over a
// surface. Bitmap contexts are the one kind made so far; image and view
// contexts join them as further subclasses. cairo stays behind this class.

#include "Platform/Graphics/Geometry.h"

#include <memory>

namespace gfx {

enum class InterpolationQuality { Default, None, Low, High };

class Context {
public:
    virtual ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Graphics state: everything below is saved and restored together.
    void saveGState();
    void restoreGState();

    // Transforms act on user space in the device's order: the new transform
    // is applied to points before the current one.
    void concatCTM(const AffineTransform& transform);
    void translateCTM(float tx, float ty);
    void scaleCTM(float sx, float sy);
    // User space to the surface's pixels (y down from the top-left pixel).
    AffineTransform userSpaceToDeviceSpaceTransform() const;

    void setFillColor(float red, float green, float blue, float alpha);
    void setStrokeColor(float red, float green, float blue, float alpha);
    void setLineWidth(float width);
    void setInterpolationQuality(InterpolationQuality quality);
    InterpolationQuality interpolationQuality() const;

    void fillRect(const Rect& rect);
    void strokeRect(const Rect& rect);
    void clipToRect(const Rect& rect);
    // The clip's bounding box in user space.
    Rect clipBoundingBox() const;

    struct State;

protected:
    // Takes the cairo context (a cairo_t, passed untyped to keep cairo out
    // of this header) and the base transform that makes user space.
    Context(void* cairoContext, const AffineTransform& base);

private:
    friend struct ContextAccess;
    std::unique_ptr<State> m_state;
};

} // namespace gfx
