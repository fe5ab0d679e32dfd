#pragma once

// For the platform's own drawing code only (page drawing, later images and
// text): the cairo context behind a gfx::Context. Not for use above the
// platform layer.

#include "Platform/Graphics/Context.h"

typedef struct _cairo cairo_t;

namespace gfx {

struct ContextAccess {
    static cairo_t* cairo(Context& context);
    // How user space runs (y down) and how many pixels a point covers, for
    // contexts whose base transform says neither plainly (turned ones).
    static void setGeometry(Context& context, bool flipped, float scale);
};

} // namespace gfx
