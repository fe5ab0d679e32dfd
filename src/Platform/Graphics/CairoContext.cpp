#include "Platform/Graphics/CairoContext.h"

#include "Platform/Graphics/ContextInternal.h"

#include <cairo.h>

namespace gfx {

namespace {

void* referenced(void* cairo)
{
    return cairo_reference(static_cast<cairo_t*>(cairo));
}

AffineTransform composed(void* cairo, const AffineTransform& transform)
{
    cairo_matrix_t m;
    cairo_get_matrix(static_cast<cairo_t*>(cairo), &m);
    AffineTransform existing { float(m.xx), float(m.yx), float(m.xy), float(m.yy), float(m.x0), float(m.y0) };
    return transform.concatenating(existing);
}

} // namespace

CairoContext::CairoContext(void* cairo, const AffineTransform& transform, float pixelScale)
    : Context(referenced(cairo), composed(cairo, transform))
{
    ContextAccess::setGeometry(*this, true, pixelScale);
}

} // namespace gfx
