#pragma once

// A drawing destination with the device's graphics-state model: a stack of
// states (transform, clip, colours, alpha, line width, interpolation quality)
// over a surface, and a current path that is not part of the state. Bitmap
// contexts (y up from the bottom left) and image contexts (y down from the
// top left) are the two kinds. cairo stays behind this class.

#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>

namespace gfx {

class Image;

// The device's numbers: stored settings and callers pass them as such.
enum class InterpolationQuality { Default = 0, None = 1, Low = 2, High = 3 };

class Context {
public:
    virtual ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Graphics state: everything below but the path is saved and restored
    // together.
    void saveGState();
    void restoreGState();

    // Transforms act on user space in the device's order: the new transform
    // is applied to points before the current one.
    void concatCTM(const AffineTransform& transform);
    void translateCTM(float tx, float ty);
    void scaleCTM(float sx, float sy);
    // User space to the surface's pixels (y down from the top-left pixel).
    AffineTransform userSpaceToDeviceSpaceTransform() const;
    // Whether the context's own space runs down from the top left (image
    // contexts) rather than up from the bottom left (bitmap contexts).
    bool isFlipped() const;
    // Pixels per unit of the context's own space.
    float contentScale() const;

    void setFillColor(float red, float green, float blue, float alpha);
    void setStrokeColor(float red, float green, float blue, float alpha);
    void setFillColor(const Color& color);
    void setStrokeColor(const Color& color);
    Color fillColor() const;
    // Multiplies everything drawn from now on.
    void setAlpha(float alpha);
    float alpha() const;
    void setLineWidth(float width);
    void setShouldAntialias(bool antialias);
    void setInterpolationQuality(InterpolationQuality quality);

    // The current path, in user space at the time each piece is added.
    void beginPath();
    void moveToPoint(float x, float y);
    void addLineToPoint(float x, float y);
    void addQuadCurveToPoint(float cpx, float cpy, float x, float y);
    // `clockwise` means the angle decreases from start to end.
    void addArc(float x, float y, float radius, float startAngle, float endAngle, bool clockwise);
    void addRect(const Rect& rect);
    void addEllipseInRect(const Rect& rect);
    void closePath();
    // These use up the current path.
    void fillPath();
    void strokePath();
    void clip();

    // These leave the current path alone.
    void fillRect(const Rect& rect);
    void strokeRect(const Rect& rect);
    void fillEllipseInRect(const Rect& rect);
    void clipToRect(const Rect& rect);
    // The clip's bounding box in user space.
    Rect clipBoundingBox() const;

    // Draws the image upright in the rectangle: its top at the rectangle's
    // top as the context's own space sees it (maxY in a bitmap context, minY
    // in an image context), orientation applied, filtered by the
    // interpolation quality. An image that cannot be decoded draws nothing
    // and answers false.
    bool drawImage(const Rect& rect, const Image& image);
    // Draws the image stretched into the rectangle in nine parts: corners
    // of the cap sizes (in points) kept, edges stretched along one axis, the
    // middle along both.
    bool drawImageInNineParts(const Rect& rect, const Image& image, float leftCap, float topCap, float rightCap,
        float bottomCap);

    // Transparency layers: what is drawn between begin and end is put
    // together on its own and then composited once with `alpha` (so
    // overlapping parts do not show through each other). They nest and
    // save the graphics state.
    void beginTransparencyLayer();
    void endTransparencyLayer(float alpha = 1);

    // Where pattern colours start their tiles: an offset in device pixels
    // from the surface's top left (0, 0 by default; part of the state).
    void setPatternPhase(Point devicePixels);

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
