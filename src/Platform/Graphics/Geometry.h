#pragma once

// The 2-D geometry types of the drawing layer, single precision throughout,
// with the device's rectangle semantics: a null rectangle (infinite origin)
// stands for "nothing", an empty one has zero width or height but still has
// a place.

#include <algorithm>
#include <cmath>
#include <limits>

namespace gfx {

struct Point {
    float x = 0;
    float y = 0;
    constexpr bool operator==(const Point&) const = default;
};

struct Size {
    float width = 0;
    float height = 0;
    constexpr bool operator==(const Size&) const = default;
};

struct EdgeInsets {
    float top = 0;
    float left = 0;
    float bottom = 0;
    float right = 0;
    constexpr bool operator==(const EdgeInsets&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point origin, Size size) : origin(origin), size(size) { }
    constexpr Rect(float x, float y, float width, float height) : origin { x, y }, size { width, height } { }

    static constexpr Rect null()
    {
        constexpr float infinity = std::numeric_limits<float>::infinity();
        return Rect(infinity, infinity, 0, 0);
    }
    static constexpr Rect zero() { return Rect(); }

    constexpr float x() const { return origin.x; }
    constexpr float y() const { return origin.y; }
    constexpr float width() const { return size.width; }
    constexpr float height() const { return size.height; }

    bool isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
    bool isEmpty() const { return isNull() || size.width == 0 || size.height == 0; }

    // Negative sizes flipped so that the origin is the smallest corner.
    Rect standardized() const
    {
        if (isNull())
            return *this;
        Rect result = *this;
        if (result.size.width < 0) {
            result.origin.x += result.size.width;
            result.size.width = -result.size.width;
        }
        if (result.size.height < 0) {
            result.origin.y += result.size.height;
            result.size.height = -result.size.height;
        }
        return result;
    }

    float minX() const { return standardized().origin.x; }
    float minY() const { return standardized().origin.y; }
    float maxX() const
    {
        Rect r = standardized();
        return r.origin.x + r.size.width;
    }
    float maxY() const
    {
        Rect r = standardized();
        return r.origin.y + r.size.height;
    }
    float midX() const { return (minX() + maxX()) * 0.5f; }
    float midY() const { return (minY() + maxY()) * 0.5f; }

    // The smallest rectangle holding both; a null rect yields the other, an
    // empty (but placed) one still counts.
    Rect unionRect(const Rect& other) const
    {
        if (isNull())
            return other.standardized();
        if (other.isNull())
            return standardized();
        float left = std::min(minX(), other.minX());
        float top = std::min(minY(), other.minY());
        float right = std::max(maxX(), other.maxX());
        float bottom = std::max(maxY(), other.maxY());
        return Rect(left, top, right - left, bottom - top);
    }

    // The common part, or the null rect when they do not meet.
    Rect intersection(const Rect& other) const
    {
        if (isNull() || other.isNull())
            return null();
        float left = std::max(minX(), other.minX());
        float top = std::max(minY(), other.minY());
        float right = std::min(maxX(), other.maxX());
        float bottom = std::min(maxY(), other.maxY());
        if (right < left || bottom < top)
            return null();
        return Rect(left, top, right - left, bottom - top);
    }
    bool intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

    bool contains(Point point) const
    {
        return !isNull() && point.x >= minX() && point.x < maxX() && point.y >= minY() && point.y < maxY();
    }
    bool contains(const Rect& other) const
    {
        if (isNull() || other.isNull())
            return false;
        return other.minX() >= minX() && other.minY() >= minY() && other.maxX() <= maxX() && other.maxY() <= maxY();
    }

    Rect offsetBy(float dx, float dy) const { return isNull() ? *this : Rect(origin.x + dx, origin.y + dy, size.width, size.height); }
    Rect insetBy(float dx, float dy) const
    {
        if (isNull())
            return *this;
        Rect r = standardized();
        Rect result(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx, r.size.height - 2 * dy);
        return result.size.width < 0 || result.size.height < 0 ? null() : result;
    }
    Rect insetBy(const EdgeInsets& insets) const
    {
        return Rect(origin.x + insets.left, origin.y + insets.top, size.width - insets.left - insets.right,
            size.height - insets.top - insets.bottom);
    }

    bool operator==(const Rect& other) const
    {
        if (isNull() || other.isNull())
            return isNull() && other.isNull();
        return origin == other.origin && size == other.size;
    }
};

// An affine transform [a b 0; c d 0; tx ty 1] acting on row vectors, as the
// drawing layer composes them.
struct AffineTransform {
    float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static constexpr AffineTransform identity() { return {}; }
    static AffineTransform rotation(float angle)
    {
        float sine = std::sin(angle), cosine = std::cos(angle);
        return { cosine, sine, -sine, cosine, 0, 0 };
    }
    static constexpr AffineTransform scale(float sx, float sy) { return { sx, 0, 0, sy, 0, 0 }; }
    static constexpr AffineTransform translation(float tx, float ty) { return { 1, 0, 0, 1, tx, ty }; }

    bool isIdentity() const { return *this == identity(); }

    // This transform followed by `next`.
    constexpr AffineTransform concatenating(const AffineTransform& next) const
    {
        return { a * next.a + b * next.c, a * next.b + b * next.d, c * next.a + d * next.c, c * next.b + d * next.d,
            tx * next.a + ty * next.c + next.tx, tx * next.b + ty * next.d + next.ty };
    }
    AffineTransform rotated(float angle) const { return rotation(angle).concatenating(*this); }
    AffineTransform scaled(float sx, float sy) const { return scale(sx, sy).concatenating(*this); }
    AffineTransform translated(float x, float y) const { return translation(x, y).concatenating(*this); }

    AffineTransform inverted() const
    {
        float determinant = a * d - b * c;
        if (determinant == 0)
            return *this;
        return { d / determinant, -b / determinant, -c / determinant, a / determinant,
            (c * ty - d * tx) / determinant, (b * tx - a * ty) / determinant };
    }

    constexpr Point apply(Point p) const { return { a * p.x + c * p.y + tx, b * p.x + d * p.y + ty }; }
    constexpr Size apply(Size s) const { return { a * s.width + c * s.height, b * s.width + d * s.height }; }
    // The bounding box of the transformed rectangle.
    Rect apply(const Rect& rect) const
    {
        if (rect.isNull())
            return rect;
        Rect r = rect.standardized();
        Point corners[4] = { apply(Point { r.minX(), r.minY() }), apply(Point { r.maxX(), r.minY() }),
            apply(Point { r.minX(), r.maxY() }), apply(Point { r.maxX(), r.maxY() }) };
        float left = corners[0].x, right = corners[0].x, top = corners[0].y, bottom = corners[0].y;
        for (const Point& corner : corners) {
            left = std::min(left, corner.x);
            right = std::max(right, corner.x);
            top = std::min(top, corner.y);
            bottom = std::max(bottom, corner.y);
        }
        return Rect(left, top, right - left, bottom - top);
    }

    constexpr bool operator==(const AffineTransform&) const = default;
};

} // namespace gfx
