#include "Platform/Graphics/Context.h"

#include "Platform/Graphics/ContextInternal.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/ImageInternal.h"

#include <cairo.h>
#include <algorithm>
#include <cmath>
#include <vector>

namespace gfx {

namespace {

// What the device keeps in a graphics state and cairo does not: separate
// fill and stroke colours, the global alpha and the interpolation quality.
struct Extra {
    Color fill { 0, 0, 0, 1 };
    Color stroke { 0, 0, 0, 1 };
    float alpha = 1;
    InterpolationQuality quality = InterpolationQuality::Default;
    Point patternPhase;
};

cairo_matrix_t toCairo(const AffineTransform& t)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

cairo_filter_t filterFor(InterpolationQuality quality)
{
    switch (quality) {
    case InterpolationQuality::None: return CAIRO_FILTER_NEAREST;
    case InterpolationQuality::Low: return CAIRO_FILTER_BILINEAR;
    case InterpolationQuality::High: return CAIRO_FILTER_BEST;
    case InterpolationQuality::Default: break;
    }
    return CAIRO_FILTER_GOOD;
}

bool isUsable(const AffineTransform& t)
{
    float determinant = t.a * t.d - t.b * t.c;
    return std::isfinite(determinant) && determinant != 0 && std::isfinite(t.tx) && std::isfinite(t.ty);
}

} // namespace

struct Context::State {
    cairo_t* cairo = nullptr;
    std::vector<Extra> stack { Extra() };
    bool flipped = false;
    float scale = 1;

    Extra& top() { return stack.back(); }

    // Paints what the path or rectangle covers with the colour at the
    // global alpha; `operation` is cairo_fill, cairo_stroke and the like.
    void paint(const Color& color, void (*operation)(cairo_t*))
    {
        float alpha = top().alpha;
        if (!color.isPattern()) {
            cairo_set_source_rgba(cairo, color.red(), color.green(), color.blue(), color.alpha() * alpha);
            operation(cairo);
            return;
        }
        codecs::Surface tile = ImageAccess::uprightPixels(*color.patternImage());
        if (!tile) {
            cairo_new_path(cairo);
            return;
        }
        // Tiles start at the origin of the context's own space and keep the
        // image's size in points, whatever the current transform.
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile.get());
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
        cairo_matrix_t userToDevice, deviceToTile, userToTile;
        cairo_get_matrix(cairo, &userToDevice);
        double factor = color.patternImage()->scale() / scale;
        cairo_matrix_init_translate(&deviceToTile, -top().patternPhase.x * factor, -top().patternPhase.y * factor);
        cairo_matrix_scale(&deviceToTile, factor, factor);
        cairo_matrix_multiply(&userToTile, &userToDevice, &deviceToTile);
        cairo_pattern_set_matrix(pattern, &userToTile);
        if (alpha >= 1) {
            cairo_set_source(cairo, pattern);
            operation(cairo);
        } else {
            cairo_push_group(cairo);
            cairo_set_source(cairo, pattern);
            operation(cairo);
            cairo_pop_group_to_source(cairo);
            cairo_paint_with_alpha(cairo, alpha);
        }
        cairo_pattern_destroy(pattern);
    }

    // Runs `draw` on a path of its own and puts the current path back.
    template<typename Draw> void aside(Draw draw)
    {
        cairo_path_t* saved = cairo_has_current_point(cairo) ? cairo_copy_path(cairo) : nullptr;
        cairo_new_path(cairo);
        draw();
        cairo_new_path(cairo);
        if (saved) {
            cairo_append_path(cairo, saved);
            cairo_path_destroy(saved);
        }
    }

    void rectangle(const Rect& rect)
    {
        Rect r = rect.standardized();
        cairo_rectangle(cairo, r.x(), r.y(), r.width(), r.height());
    }

    void ellipse(const Rect& rect)
    {
        Rect r = rect.standardized();
        if (r.width() == 0 || r.height() == 0)
            return;
        cairo_save(cairo);
        cairo_translate(cairo, r.midX(), r.midY());
        cairo_scale(cairo, r.width() / 2, r.height() / 2);
        cairo_new_sub_path(cairo);
        cairo_arc(cairo, 0, 0, 1, 0, 2 * M_PI);
        cairo_close_path(cairo);
        cairo_restore(cairo);
    }
};

cairo_t* ContextAccess::cairo(Context& context)
{
    return context.m_state->cairo;
}

void ContextAccess::setGeometry(Context& context, bool flipped, float scale)
{
    context.m_state->flipped = flipped;
    context.m_state->scale = scale;
}

Context::Context(void* cairoContext, const AffineTransform& base)
    : m_state(std::make_unique<State>())
{
    m_state->cairo = static_cast<cairo_t*>(cairoContext);
    m_state->flipped = base.d > 0;
    m_state->scale = std::fabs(base.a);
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
    if (!isUsable(transform))
        return; // a singular transform would break the context for good
    cairo_matrix_t m = toCairo(transform);
    cairo_transform(m_state->cairo, &m);
}

void Context::translateCTM(float tx, float ty)
{
    if (std::isfinite(tx) && std::isfinite(ty))
        cairo_translate(m_state->cairo, tx, ty);
}

void Context::scaleCTM(float sx, float sy)
{
    concatCTM(AffineTransform::scale(sx, sy));
}

AffineTransform Context::userSpaceToDeviceSpaceTransform() const
{
    cairo_matrix_t m;
    cairo_get_matrix(m_state->cairo, &m);
    return { float(m.xx), float(m.yx), float(m.xy), float(m.yy), float(m.x0), float(m.y0) };
}

bool Context::isFlipped() const
{
    return m_state->flipped;
}

float Context::contentScale() const
{
    return m_state->scale;
}

void Context::setFillColor(float red, float green, float blue, float alpha)
{
    m_state->top().fill = Color(red, green, blue, alpha);
}

void Context::setStrokeColor(float red, float green, float blue, float alpha)
{
    m_state->top().stroke = Color(red, green, blue, alpha);
}

void Context::setFillColor(const Color& color)
{
    m_state->top().fill = color;
}

void Context::setStrokeColor(const Color& color)
{
    m_state->top().stroke = color;
}

Color Context::fillColor() const
{
    return m_state->top().fill;
}

void Context::setAlpha(float alpha)
{
    m_state->top().alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0f, 1.0f) : 1.0f;
}

float Context::alpha() const
{
    return m_state->top().alpha;
}

void Context::setLineWidth(float width)
{
    if (std::isfinite(width) && width >= 0)
        cairo_set_line_width(m_state->cairo, width);
}

void Context::setShouldAntialias(bool antialias)
{
    cairo_set_antialias(m_state->cairo, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void Context::setInterpolationQuality(InterpolationQuality quality)
{
    m_state->top().quality = quality;
}

void Context::beginPath()
{
    cairo_new_path(m_state->cairo);
}

void Context::moveToPoint(float x, float y)
{
    cairo_move_to(m_state->cairo, x, y);
}

void Context::addLineToPoint(float x, float y)
{
    cairo_line_to(m_state->cairo, x, y);
}

void Context::addQuadCurveToPoint(float cpx, float cpy, float x, float y)
{
    double x0, y0;
    if (!cairo_has_current_point(m_state->cairo)) {
        cairo_move_to(m_state->cairo, cpx, cpy);
        x0 = cpx, y0 = cpy;
    } else {
        cairo_get_current_point(m_state->cairo, &x0, &y0);
    }
    // The cubic with the same shape.
    cairo_curve_to(m_state->cairo, x0 + 2.0 / 3 * (cpx - x0), y0 + 2.0 / 3 * (cpy - y0), x + 2.0 / 3 * (cpx - x),
        y + 2.0 / 3 * (cpy - y), x, y);
}

void Context::addArc(float x, float y, float radius, float startAngle, float endAngle, bool clockwise)
{
    if (!std::isfinite(radius) || radius < 0)
        return;
    if (clockwise)
        cairo_arc_negative(m_state->cairo, x, y, radius, startAngle, endAngle);
    else
        cairo_arc(m_state->cairo, x, y, radius, startAngle, endAngle);
}

void Context::addRect(const Rect& rect)
{
    if (!rect.isNull())
        m_state->rectangle(rect);
}

void Context::addEllipseInRect(const Rect& rect)
{
    if (!rect.isNull())
        m_state->ellipse(rect);
}

void Context::closePath()
{
    if (cairo_has_current_point(m_state->cairo))
        cairo_close_path(m_state->cairo);
}

void Context::fillPath()
{
    cairo_set_fill_rule(m_state->cairo, CAIRO_FILL_RULE_WINDING);
    m_state->paint(m_state->top().fill, cairo_fill);
}

void Context::strokePath()
{
    m_state->paint(m_state->top().stroke, cairo_stroke);
}

void Context::clip()
{
    cairo_set_fill_rule(m_state->cairo, CAIRO_FILL_RULE_WINDING);
    cairo_clip(m_state->cairo);
}

void Context::fillRect(const Rect& rect)
{
    if (rect.isNull())
        return;
    m_state->aside([&] {
        m_state->rectangle(rect);
        m_state->paint(m_state->top().fill, cairo_fill);
    });
}

void Context::strokeRect(const Rect& rect)
{
    if (rect.isNull())
        return;
    m_state->aside([&] {
        m_state->rectangle(rect);
        m_state->paint(m_state->top().stroke, cairo_stroke);
    });
}

void Context::fillEllipseInRect(const Rect& rect)
{
    if (rect.isNull())
        return;
    m_state->aside([&] {
        m_state->ellipse(rect);
        m_state->paint(m_state->top().fill, cairo_fill);
    });
}

void Context::clipToRect(const Rect& rect)
{
    m_state->aside([&] {
        if (rect.isNull())
            cairo_rectangle(m_state->cairo, 0, 0, 0, 0);
        else
            m_state->rectangle(rect);
        cairo_clip(m_state->cairo);
    });
}

Rect Context::clipBoundingBox() const
{
    double x1, y1, x2, y2;
    cairo_clip_extents(m_state->cairo, &x1, &y1, &x2, &y2);
    return Rect(float(x1), float(y1), float(x2 - x1), float(y2 - y1));
}

bool Context::drawImage(const Rect& rect, const Image& image)
{
    Rect r = rect.standardized();
    if (r.isNull() || r.width() == 0 || r.height() == 0)
        return true;
    const double storedWidth = image.pixelWidth(), storedHeight = image.pixelHeight();
    const bool swaps = swapsSides(image.imageOrientation());
    const double shownWidth = swaps ? storedHeight : storedWidth;
    const double shownHeight = swaps ? storedWidth : storedHeight;

    // How many device pixels the picture covers, for a smaller decode.
    cairo_matrix_t m;
    cairo_get_matrix(m_state->cairo, &m);
    double across = std::hypot(m.xx * r.width(), m.yx * r.width());
    double down = std::hypot(m.xy * r.height(), m.yy * r.height());
    double fraction = std::max(across / shownWidth, down / shownHeight);
    codecs::Surface pixels = ImageAccess::pixels(image, fraction);
    if (!pixels)
        return false;

    // Decoded pixels → stored pixels → upright pixels → the rectangle.
    AffineTransform decodedToStored = AffineTransform::scale(float(storedWidth / pixels.width()),
        float(storedHeight / pixels.height()));
    AffineTransform uprightToUser = m_state->flipped
        ? AffineTransform { float(r.width() / shownWidth), 0, 0, float(r.height() / shownHeight), r.minX(), r.minY() }
        : AffineTransform { float(r.width() / shownWidth), 0, 0, float(-r.height() / shownHeight), r.minX(), r.maxY() };
    AffineTransform total = decodedToStored.concatenating(orientationTransform(image.imageOrientation(), storedWidth, storedHeight))
                                .concatenating(uprightToUser);
    if (!isUsable(total))
        return true;
    cairo_t* cairo = m_state->cairo;
    m_state->aside([&] {
        cairo_save(cairo);
        cairo_matrix_t t = toCairo(total);
        cairo_transform(cairo, &t);
        cairo_set_source_surface(cairo, pixels.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cairo), filterFor(m_state->top().quality));
        // Edge pixels repeat outward so that filtering never fades the border.
        cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
        cairo_rectangle(cairo, 0, 0, pixels.width(), pixels.height());
        if (m_state->top().alpha >= 1) {
            cairo_fill(cairo);
        } else {
            cairo_clip(cairo);
            cairo_paint_with_alpha(cairo, m_state->top().alpha);
        }
        cairo_restore(cairo);
    });
    return true;
}

bool Context::drawImageInNineParts(const Rect& rect, const Image& image, float leftCap, float topCap, float rightCap,
    float bottomCap)
{
    Rect r = rect.standardized();
    Size size = image.size();
    if (r.isNull() || size.width <= 0 || size.height <= 0)
        return true;
    leftCap = std::clamp(leftCap, 0.0f, size.width);
    rightCap = std::clamp(rightCap, 0.0f, size.width - leftCap);
    topCap = std::clamp(topCap, 0.0f, size.height);
    bottomCap = std::clamp(bottomCap, 0.0f, size.height - topCap);
    // Caps never take more than the destination has.
    float shrinkX = leftCap + rightCap > r.width() ? r.width() / (leftCap + rightCap) : 1;
    float shrinkY = topCap + bottomCap > r.height() ? r.height() / (topCap + bottomCap) : 1;
    const float sourceX[4] = { 0, leftCap, size.width - rightCap, size.width };
    const float sourceY[4] = { 0, topCap, size.height - bottomCap, size.height };
    const float destX[4] = { r.minX(), r.minX() + leftCap * shrinkX, r.maxX() - rightCap * shrinkX, r.maxX() };
    const float top = m_state->flipped ? r.minY() : r.maxY();
    const float down = m_state->flipped ? 1 : -1;
    const float destY[4] = { top, top + down * topCap * shrinkY, top + down * (r.height() - bottomCap * shrinkY),
        top + down * r.height() };
    bool drawn = true;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            float sw = sourceX[column + 1] - sourceX[column], sh = sourceY[row + 1] - sourceY[row];
            float dw = destX[column + 1] - destX[column], dh = std::fabs(destY[row + 1] - destY[row]);
            if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
                continue;
            float scaleX = dw / sw, scaleY = dh / sh;
            // The whole image placed so that this part lands on its cell.
            Rect cell(destX[column], std::min(destY[row], destY[row + 1]), dw, dh);
            float imageTop = destY[row] - down * sourceY[row] * scaleY;
            Rect whole(destX[column] - sourceX[column] * scaleX,
                m_state->flipped ? imageTop : imageTop - size.height * scaleY, size.width * scaleX,
                size.height * scaleY);
            saveGState();
            clipToRect(cell);
            drawn = drawImage(whole, image) && drawn;
            restoreGState();
        }
    }
    return drawn;
}

void Context::beginTransparencyLayer()
{
    saveGState();
    m_state->top().alpha = 1; // the global alpha applies once, at the end
    cairo_push_group(m_state->cairo);
}

void Context::endTransparencyLayer(float alpha)
{
    if (m_state->stack.size() <= 1)
        return;
    // Painted under the state the layer began with (balanced inside), then
    // that state's save is undone.
    cairo_pop_group_to_source(m_state->cairo);
    cairo_paint_with_alpha(m_state->cairo, std::clamp(alpha, 0.0f, 1.0f) * m_state->stack[m_state->stack.size() - 2].alpha);
    restoreGState();
}

void Context::setPatternPhase(Point devicePixels)
{
    if (std::isfinite(devicePixels.x) && std::isfinite(devicePixels.y))
        m_state->top().patternPhase = devicePixels;
}

} // namespace gfx
