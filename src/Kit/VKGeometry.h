#pragma once

// Geometry helpers of the viewers, scroll views, page views and thumbnails:
// zooming, fitting, centring, clamping and orientation. Arithmetic is single
// precision unless a function says otherwise.

#include "Platform/Graphics/Geometry.h"

// The width of a strip that answers touches (scroll tracks, page edges).
inline constexpr float VKHitRegionWidth = 44.0f;

gfx::Rect VKRectScale(gfx::Rect rect, float factor);
gfx::Point VKPointScale(gfx::Point point, float factor);
gfx::Size VKSizeScale(gfx::Size size, float factor);
gfx::Rect VKRectFromSize(gfx::Size size);

// Maps a rect given in unit coordinates of `frame` into the frame, and back.
// An empty rect is answered unchanged by the inverse.
gfx::Rect VKRectInRectFromAnchorRect(gfx::Rect anchor, gfx::Rect frame);
gfx::Rect VKAnchorRectFromRectInRect(gfx::Rect rect, gfx::Rect frame);

// Centres a size in a rect; offsets are not rounded to whole points.
gfx::Rect VKSizeCenteredInRect(gfx::Size size, gfx::Rect rect);
// Centres rect `a`'s size in `b`, offsets rounded down to whole points.
gfx::Rect VKRectCenteredRectInRect(gfx::Rect a, gfx::Rect b);
// Scales a size to fit inside the rect (or, with `fill`, to cover it) and
// centres it; the zero rect for a size with a zero side.
gfx::Rect VKSizeFitToRect(gfx::Size size, gfx::Rect rect, bool fill);
gfx::Rect VKSizeFitToSize(gfx::Size size, gfx::Size bounds, bool fill);
// Moves the rect, keeping its size, so that it lies within the bounds
// (centred on an axis where the bounds are smaller).
gfx::Rect VKRectWithinRect(gfx::Rect rect, gfx::Rect bounds);
// Resizes the rect about its centre into the given width and height ranges.
gfx::Rect VKRectConstrainSize(gfx::Rect rect, float minWidth, float maxWidth, float minHeight, float maxHeight);

// The rectangle to which `a` is scaled so that it encloses `b`.
gfx::Rect VKZoomRectToEncloseRect(gfx::Rect a, gfx::Rect b);

gfx::EdgeInsets VKEdgeInsetsFromRectToRect(gfx::Rect outer, gfx::Rect inner);
// The horizontal plus vertical distance from a point to the rect; 0 inside.
float VKPointManhattanDistanceToEdgeOfCGRect(gfx::Point point, gfx::Rect rect);

bool VKValueNearToValue(float a, float b);
bool VKSizeIsEmpty(gfx::Size size);

// The rotation that turns portrait content to an interface orientation
// (1 portrait, 2 upside down, 3 landscape right, 4 landscape left).
gfx::AffineTransform VKTransformForInterfaceOrientation(int orientation);
