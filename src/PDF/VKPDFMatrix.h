#pragma once

// The text scanner's arithmetic: affine transforms in double precision (so
// that long runs of text moves do not drift and hostile operands cannot make
// a float conversion undefined) and the one narrowing to the 32-bit floats
// that rectangles and stored transforms use.

#include "Platform/Graphics/Geometry.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

// A double saturated into float range (NaN stays NaN), so narrowing is
// always defined. Values in range take one test: every glyph's rectangles
// pass here several times.
inline float vkPDFNarrow(double value)
{
    if (std::fabs(value) <= double(FLT_MAX)) [[likely]]
        return float(value);
    if (value > 0)
        return FLT_MAX;
    if (value < 0)
        return -FLT_MAX;
    return float(value);
}

// [a b 0; c d 0; tx ty 1] acting on row vectors, as PDF writes matrices.
struct VKPDFMatrix {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static VKPDFMatrix translation(double x, double y) { return { 1, 0, 0, 1, x, y }; }
    static VKPDFMatrix from(const gfx::AffineTransform& t) { return { t.a, t.b, t.c, t.d, t.tx, t.ty }; }

    // This matrix applied first, then `next`.
    VKPDFMatrix concatenating(const VKPDFMatrix& next) const
    {
        return { a * next.a + b * next.c, a * next.b + b * next.d, c * next.a + d * next.c, c * next.b + d * next.d,
            tx * next.a + ty * next.c + next.tx, tx * next.b + ty * next.d + next.ty };
    }
    // translate(x, y) × this: the move happens in this matrix's own space.
    VKPDFMatrix translated(double x, double y) const { return translation(x, y).concatenating(*this); }

    gfx::AffineTransform narrowed() const
    {
        return { vkPDFNarrow(a), vkPDFNarrow(b), vkPDFNarrow(c), vkPDFNarrow(d), vkPDFNarrow(tx), vkPDFNarrow(ty) };
    }

    // The bounding box of the mapped rectangle (x, y, width, height).
    // Inlined where it is used: every glyph of a page passes here, and a
    // rectangle returned from a call is written out and read back whole.
    [[gnu::always_inline]] gfx::Rect apply(double x, double y, double width, double height) const
    {
        // Most text is set upright: two corners say it all.
        if (b == 0 && c == 0 && std::isfinite(x) && std::isfinite(y) && std::isfinite(width) && std::isfinite(height)) {
            double x1 = a * x + tx, x2 = a * (x + width) + tx;
            double y1 = d * y + ty, y2 = d * (y + height) + ty;
            if (std::isnan(x1) || std::isnan(x2) || std::isnan(y1) || std::isnan(y2))
                return gfx::Rect(NAN, NAN, NAN, NAN);
            double left = std::min(x1, x2), bottom = std::min(y1, y2);
            return gfx::Rect(vkPDFNarrow(left), vkPDFNarrow(bottom), vkPDFNarrow(std::max(x1, x2) - left),
                vkPDFNarrow(std::max(y1, y2) - bottom));
        }
        double xs[4] = { x, x + width, x, x + width };
        double ys[4] = { y, y, y + height, y + height };
        double left = INFINITY, right = -INFINITY, bottom = INFINITY, top = -INFINITY;
        for (int i = 0; i < 4; ++i) {
            double px = a * xs[i] + c * ys[i] + tx;
            double py = b * xs[i] + d * ys[i] + ty;
            if (std::isnan(px) || std::isnan(py))
                return gfx::Rect(NAN, NAN, NAN, NAN);
            left = std::fmin(left, px);
            right = std::fmax(right, px);
            bottom = std::fmin(bottom, py);
            top = std::fmax(top, py);
        }
        return gfx::Rect(vkPDFNarrow(left), vkPDFNarrow(bottom), vkPDFNarrow(right - left), vkPDFNarrow(top - bottom));
    }
    [[gnu::always_inline]] gfx::Rect apply(const gfx::Rect& rect) const
    {
        return apply(rect.x(), rect.y(), rect.width(), rect.height());
    }
};
