#include "Platform/Web/WebSnapshot.h"

#include "Platform/Graphics/ContextInternal.h"

#include <cairo.h>
#include <cstring>

namespace web {

namespace {

cairo_surface_t* surface(void* pointer)
{
    return static_cast<cairo_surface_t*>(pointer);
}

} // namespace

WebSnapshot::WebSnapshot(void* cairoSurface, gfx::Point offset, float scale)
    : m_surface(cairo_surface_reference(surface(cairoSurface)))
    , m_offset(offset)
    , m_scale(scale > 0 ? scale : 1)
{
}

WebSnapshot::~WebSnapshot()
{
    cairo_surface_destroy(surface(m_surface));
}

int WebSnapshot::pixelWidth() const
{
    return cairo_image_surface_get_width(surface(m_surface));
}

int WebSnapshot::pixelHeight() const
{
    return cairo_image_surface_get_height(surface(m_surface));
}

gfx::Size WebSnapshot::size() const
{
    return { float(pixelWidth()) / m_scale, float(pixelHeight()) / m_scale };
}

uint32_t WebSnapshot::rgbAtForTesting(int column, int row) const
{
    cairo_surface_t* image = surface(m_surface);
    if (column < 0 || row < 0 || column >= pixelWidth() || row >= pixelHeight())
        return 0;
    cairo_surface_flush(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    if (!data)
        return 0;
    uint32_t pixel;
    std::memcpy(&pixel, data + size_t(row) * size_t(cairo_image_surface_get_stride(image)) + size_t(column) * 4, 4);
    return pixel & 0xFFFFFF;
}

void WebSnapshot::draw(gfx::Context& context, const gfx::Rect& rect) const
{
    int width = pixelWidth();
    int height = pixelHeight();
    if (width <= 0 || height <= 0 || rect.isEmpty())
        return;
    context.saveGState();
    // Into a flipped space whose origin is the rectangle's top left, so the
    // picture stands upright in bitmap and image contexts alike.
    if (context.isFlipped()) {
        context.translateCTM(rect.origin.x, rect.origin.y);
    } else {
        context.translateCTM(rect.origin.x, rect.origin.y + rect.size.height);
        context.scaleCTM(1, -1);
    }
    context.scaleCTM(rect.size.width / float(width), rect.size.height / float(height));
    cairo_t* cr = gfx::ContextAccess::cairo(context);
    cairo_set_source_surface(cr, surface(m_surface), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
    context.restoreGState();
}

} // namespace web
