#include "Kit/VKGeometry.h"

#include <cmath>

using gfx::Point;
using gfx::Rect;
using gfx::Size;

gfx::Rect VKRectScale(Rect rect, float factor)
{
    return Rect(rect.x() * factor, rect.y() * factor, rect.width() * factor, rect.height() * factor);
}

gfx::Point VKPointScale(Point point, float factor)
{
    return { point.x * factor, point.y * factor };
}

gfx::Size VKSizeScale(Size size, float factor)
{
    return { size.width * factor, size.height * factor };
}

gfx::Rect VKRectFromSize(Size size)
{
    return Rect(0, 0, size.width, size.height);
}

gfx::Rect VKRectInRectFromAnchorRect(Rect anchor, Rect frame)
{
    float x = anchor.x() * frame.width() + frame.x();
    float y = anchor.y() * frame.height() + frame.y();
    float w = ((anchor.x() + anchor.width()) * frame.width() + frame.x()) - x;
    float h = ((anchor.y() + anchor.height()) * frame.height() + frame.y()) - y;
    return Rect(x, y, w, h);
}

gfx::Rect VKAnchorRectFromRectInRect(Rect rect, Rect frame)
{
    if (rect.isEmpty())
        return rect;
    float x = (rect.x() - frame.x()) / frame.width();
    float y = (rect.y() - frame.y()) / frame.height();
    float w = (rect.x() + rect.width() - frame.x()) / frame.width() - x;
    float h = (rect.y() + rect.height() - frame.y()) / frame.height() - y;
    return Rect(x, y, w, h);
}

gfx::Rect VKSizeCenteredInRect(Size size, Rect rect)
{
    double x = double(rect.x()) + (double(rect.width()) - double(size.width)) * 0.5;
    double y = double(rect.y()) + (double(rect.height()) - double(size.height)) * 0.5;
    return Rect(float(x), float(y), size.width, size.height);
}

gfx::Rect VKRectCenteredRectInRect(Rect a, Rect b)
{
    double x = double(b.x()) + std::floor((double(b.width()) - double(a.width())) * 0.5);
    double y = double(b.y()) + std::floor((double(b.height()) - double(a.height())) * 0.5);
    return Rect(float(x), float(y), a.width(), a.height());
}

gfx::Rect VKSizeFitToRect(Size size, Rect rect, bool fill)
{
    if (size.width * size.height == 0)
        return Rect::zero();
    float sx = rect.width() / size.width;
    float sy = rect.height() / size.height;
    double scale = fill ? std::max(double(sx), double(sy)) : std::min(double(sx), double(sy));
    float s = float(scale);
    return VKSizeCenteredInRect(Size { size.width * s, size.height * s }, rect);
}

gfx::Rect VKSizeFitToSize(Size size, Size bounds, bool fill)
{
    return VKSizeFitToRect(size, Rect(0, 0, bounds.width, bounds.height), fill);
}

namespace {

// One axis of VKRectWithinRect.
float placeWithin(float origin, float extent, float boundsOrigin, float boundsExtent)
{
    if (boundsExtent < extent)
        return boundsOrigin + (boundsExtent - extent) * 0.5f;
    if (origin < boundsOrigin)
        return boundsOrigin;
    if (origin + extent > boundsOrigin + boundsExtent)
        return boundsOrigin + boundsExtent - extent;
    return origin;
}

} // namespace

gfx::Rect VKRectWithinRect(Rect rect, Rect bounds)
{
    return Rect(placeWithin(rect.x(), rect.width(), bounds.x(), bounds.width()),
        placeWithin(rect.y(), rect.height(), bounds.y(), bounds.height()), rect.width(), rect.height());
}

gfx::Rect VKRectConstrainSize(Rect rect, float minWidth, float maxWidth, float minHeight, float maxHeight)
{
    float w = float(std::min(std::max(double(rect.width()), double(minWidth)), double(maxWidth)));
    float h = float(std::min(std::max(double(rect.height()), double(minHeight)), double(maxHeight)));
    return Rect(rect.x() + (rect.width() - w) * 0.5f, rect.y() + (rect.height() - h) * 0.5f, w, h);
}

namespace {

// How far the zoomed rect must shift so that `inner` keeps its relative place.
float zoomOffset(float zoomedExtent, float outerExtent, float innerExtent, float distance)
{
    if (distance == 0)
        return 0;
    return float((zoomedExtent - innerExtent) / (double((outerExtent - distance - innerExtent) / distance) + 1.0));
}

} // namespace

gfx::Rect VKZoomRectToEncloseRect(Rect a, Rect b)
{
    float sx = a.width() != 0 ? b.width() / a.width() : 0;
    float sy = a.height() != 0 ? b.height() / a.height() : 0;
    if (sx > sy) {
        float w = a.width() * sx, h = a.height() * sx;
        return Rect(b.x(), b.y() - zoomOffset(h, a.height(), b.height(), b.y() - a.y()), w, h);
    }
    float w = a.width() * sy, h = a.height() * sy;
    return Rect(b.x() - zoomOffset(w, a.width(), b.width(), b.x() - a.x()), b.y(), w, h);
}

gfx::EdgeInsets VKEdgeInsetsFromRectToRect(Rect a, Rect b)
{
    return { b.y() - a.y(), b.x() - a.x(), (a.height() - b.height()) - (b.y() - a.y()),
        (a.width() - b.width()) - (b.x() - a.x()) };
}

namespace {

float distanceOutside(float value, float origin, float extent)
{
    if (value < origin)
        return origin - value;
    if (value > origin + extent)
        return value - (origin + extent);
    return 0;
}

} // namespace

float VKPointManhattanDistanceToEdgeOfCGRect(Point p, Rect rect)
{
    return distanceOutside(p.x, rect.x(), rect.width()) + distanceOutside(p.y, rect.y(), rect.height());
}

bool VKValueNearToValue(float a, float b)
{
    return std::fabs(a - b) <= 1.0f;
}

bool VKSizeIsEmpty(Size size)
{
    return size.width == 0 || size.height == 0;
}

gfx::AffineTransform VKTransformForInterfaceOrientation(int orientation)
{
    constexpr float halfPi = float(M_PI_2);
    constexpr float pi = float(M_PI);
    switch (orientation) {
    case 4:
        return gfx::AffineTransform::rotation(-halfPi);
    case 3:
        return gfx::AffineTransform::rotation(halfPi);
    case 2:
        return gfx::AffineTransform::rotation(pi);
    default:
        return gfx::AffineTransform::identity();
    }
}
