#pragma once

// A drawing context over a cairo context someone else made (a window's
// drawing handler hands one over): user space is y-down points mapped by
// `transform` into what that cairo context's own transform and clip
// already say, `pixelScale` pixels to the point.

#include "Platform/Graphics/Context.h"

namespace gfx {

class CairoContext : public Context {
public:
    // `cairo` is a cairo_t, untyped to keep cairo out of this header; it is
    // referenced, not taken.
    CairoContext(void* cairo, const AffineTransform& transform, float pixelScale);
};

} // namespace gfx
