#include "Platform/Graphics/Context.h"

#include "Platform/Graphics/ContextInternal.h"

#include <cairo.h>
#include <vector>

namespace gfx {

namespace {

struct Colour {
    double red = 0, green = 0, blue = 0, alpha = 1;
};

// What the device keeps in a graphics state and cairo does not: separate
// fill and stroke colours and the interpolation quality.
struct Extra {
    Colour fill;
    Colour stroke;
    InterpolationQuality quality = InterpolationQuality::Default;
};

cairo_matrix_t toCairo(const AffineTransform& t)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

} // namespace

struct Context::State {
    cairo_t* cairo = nullptr;
    std::vector<Extra> stack { Extra() };

    Extra& top() { return stack.back(); }
    void setSource(const Colour& c) { cairo_set_source_rgba(cairo, c.red, c.green, c.blue, c.alpha); }
    void rectangle(const Rect& rect)
    {
        Rect r = rect.standardized();
        cairo_new_path(cairo);
        cairo_rectangle(cairo, r.x(), r.y(), r.width(), r.height());
    }
};

cairo_t* ContextAccess::cairo(Context& context)
{
    return context.m_state->cairo;
}

Context::Context(void* cairoContext, const AffineTransform& base)
    : m_state(std::make_unique<State>())
{
    m_state->cairo = static_cast<cairo_t*>(cairoContext);
    cairo_matrix_t m = toCairo(base);
    cairo_set_matrix(m_state->cairo, &m);
    cairo_set_line_width(m_state->cairo, 1.0);
}

Context::~Context()
{
    cairo_destroy(m_state->cairo);
}

void Context::saveGState()
{
    cairo_save(m_state->cairo);
    m_state->stack.push_back(m_state->top());
}

void Context::restoreGState()
{
    // An unbalanced restore would put cairo into an error state for good.
    if (m_state->stack.size() <= 1)
        return;
    cairo_restore(m_state->cairo);
    m_state->stack.pop_back();
}

void Context::concatCTM(const AffineTransform& transform)
{
    cairo_matrix_t m = toCairo(transform);
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS)
        return; // a singular transform would break the context for good
    m = toCairo(transform);
    cairo_transform(m_state->cairo, &m);
}

void Context::translateCTM(float tx, float ty)
{
    cairo_translate(m_state->cairo, tx, ty);
}

void Context::scaleCTM(float sx, float sy)
{
    if (sx == 0 || sy == 0)
        return;
    cairo_scale(m_state->cairo, sx, sy);
}

AffineTransform Context::userSpaceToDeviceSpaceTransform() const
{
    cairo_matrix_t m;
    cairo_get_matrix(m_state->cairo, &m);
    return { float(m.xx), float(m.yx), float(m.xy), float(m.yy), float(m.x0), float(m.y0) };
}

void Context::setFillColor(float red, float green, float blue, float alpha)
{
    m_state->top().fill = { red, green, blue, alpha };
}

void Context::setStrokeColor(float red, float green, float blue, float alpha)
{
    m_state->top().stroke = { red, green, blue, alpha };
}

void Context::setLineWidth(float width)
{
    cairo_set_line_width(m_state->cairo, width);
}

void Context::setInterpolationQuality(InterpolationQuality quality)
{
    m_state->top().quality = quality;
}

InterpolationQuality Context::interpolationQuality() const
{
    return m_state->top().quality;
}

void Context::fillRect(const Rect& rect)
{
    if (rect.isNull())
        return;
    m_state->rectangle(rect);
    m_state->setSource(m_state->top().fill);
    cairo_fill(m_state->cairo);
}

void Context::strokeRect(const Rect& rect)
{
    if (rect.isNull())
        return;
    m_state->rectangle(rect);
    m_state->setSource(m_state->top().stroke);
    cairo_stroke(m_state->cairo);
}

void Context::clipToRect(const Rect& rect)
{
    if (rect.isNull()) {
        cairo_new_path(m_state->cairo);
        cairo_rectangle(m_state->cairo, 0, 0, 0, 0);
    } else {
        m_state->rectangle(rect);
    }
    cairo_clip(m_state->cairo);
}

Rect Context::clipBoundingBox() const
{
    double x1, y1, x2, y2;
    cairo_clip_extents(m_state->cairo, &x1, &y1, &x2, &y2);
    return Rect(float(x1), float(y1), float(x2 - x1), float(y2 - y1));
}

} // namespace gfx
