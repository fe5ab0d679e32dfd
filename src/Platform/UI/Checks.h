#pragma once

// The toolkit's guards against misuse: main-thread entry points and
// geometry that must be finite. Each throws core::Exception naming the
// caller and the value.

#include "Platform/Graphics/Geometry.h"

#include <string_view>

namespace ui {

// NSInternalInconsistencyException unless called on the main thread.
void requireMainThread(std::string_view what);
// NSInvalidArgumentException for NaN or infinite parts.
void requireFinite(float value, std::string_view what);
void requireFinite(gfx::Point point, std::string_view what);
void requireFinite(gfx::Size size, std::string_view what);
void requireFinite(const gfx::Rect& rect, std::string_view what);
void requireFinite(const gfx::AffineTransform& transform, std::string_view what);

} // namespace ui
