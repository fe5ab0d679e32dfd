#include "Platform/PDF/Page.h"

#include "Platform/PDF/DocumentState.h"

#include <climits>

namespace pdf {

using detail::HandleAccess;

namespace {

// Box corners as the file gives them, in double precision until the end.
struct Corners {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    // The renderer's clipping: each edge moved inside `other`.
    void clipTo(const Corners& other)
    {
        auto clamp = [](double v, double low, double high) { return v < low ? low : v > high ? high : v; };
        x1 = clamp(x1, other.x1, other.x2);
        x2 = clamp(x2, other.x1, other.x2);
        y1 = clamp(y1, other.y1, other.y2);
        y2 = clamp(y2, other.y1, other.y2);
    }
    gfx::Rect rect() const { return gfx::Rect(float(x1), float(y1), float(x2 - x1), float(y2 - y1)); }
};

// A box entry the renderer accepts: an array of four numbers, not all zero,
// standardised.
bool readBox(QPDFObjectHandle node, const char* key, Corners& out)
{
    QPDFObjectHandle box = node.getKey(key);
    if (!box.isArray() || box.getArrayNItems() != 4)
        return false;
    double values[4];
    for (int i = 0; i < 4; ++i) {
        if (!detail::convert(nullptr, box.getArrayItem(i), values[i]))
            return false;
    }
    Corners result { values[0], values[1], values[2], values[3] };
    if (result.x1 == 0 && result.y1 == 0 && result.x2 == 0 && result.y2 == 0)
        return false;
    if (result.x1 > result.x2)
        std::swap(result.x1, result.x2);
    if (result.y1 > result.y2)
        std::swap(result.y1, result.y2);
    out = result;
    return true;
}

// The nearest readable box up the tree.
bool inheritedBox(QPDFObjectHandle page, const char* key, Corners& out)
{
    bool found = false;
    detail::walkUp(page, [&](QPDFObjectHandle node) { return found = readBox(node, key, out); });
    return found;
}

} // namespace

Dictionary Page::dictionary() const
{
    auto lock = detail::lock(m_document);
    detail::PageObject page = HandleAccess::pageObject(*this);
    return page.object.isDictionary() ? HandleAccess::wrap<Dictionary>(page.reading, page.object) : Dictionary();
}

gfx::Rect Page::boxRect(Box box) const
{
    if (!*this)
        return gfx::Rect::zero();
    auto lock = detail::lock(m_document);
    try {
        detail::PageObject pageObject = HandleAccess::pageObject(*this);
        const QPDFObjectHandle& page = pageObject.object;
        Corners media { 0, 0, 612, 792 };
        inheritedBox(page, "/MediaBox", media);
        if (box == Box::Media)
            return media.rect();
        Corners crop = media;
        inheritedBox(page, "/CropBox", crop);
        // A crop box wider or taller than the media box takes the media
        // box's extent in that direction, as the renderer does.
        if (crop.x2 - crop.x1 > media.x2 - media.x1) {
            crop.x1 = media.x1;
            crop.x2 = media.x2;
        }
        if (crop.y2 - crop.y1 > media.y2 - media.y1) {
            crop.y1 = media.y1;
            crop.y2 = media.y2;
        }
        Corners result = crop;
        if (box == Box::Bleed)
            readBox(page, "/BleedBox", result);
        else if (box == Box::Trim)
            readBox(page, "/TrimBox", result);
        else if (box == Box::Art)
            readBox(page, "/ArtBox", result);
        result.clipTo(media);
        return result.rect();
    } catch (const std::exception&) {
        return gfx::Rect(0, 0, 612, 792);
    }
}

int Page::rotationAngle() const
{
    if (!*this)
        return 0;
    auto lock = detail::lock(m_document);
    int64_t angle = 0;
    try {
        detail::PageObject page = HandleAccess::pageObject(*this);
        detail::walkUp(page.object, [&](QPDFObjectHandle node) {
            QPDFObjectHandle rotate = node.getKey("/Rotate");
            if (!rotate.isInteger() || rotate.getIntValue() < INT_MIN || rotate.getIntValue() > INT_MAX)
                return false;
            angle = rotate.getIntValue();
            return true;
        });
    } catch (const std::exception&) {
        return 0;
    }
    angle %= 360;
    if (angle < 0)
        angle += 360;
    return angle % 90 == 0 ? int(angle) : 0;
}

gfx::AffineTransform Page::drawingTransform(Box box, const gfx::Rect& rect, int rotate, bool preserveAspectRatio) const
{
    int extra = rotate % 90 == 0 ? rotate : 0;
    return drawingTransform(boxRect(box), rotationAngle() + extra, rect, preserveAspectRatio);
}

gfx::AffineTransform Page::drawingTransform(const gfx::Rect& boxRect, int angle, const gfx::Rect& rect, bool preserveAspectRatio)
{
    gfx::Rect box = boxRect.standardized();
    gfx::Rect target = rect.standardized();
    angle %= 360;
    if (angle < 0)
        angle += 360;
    if (angle % 90 != 0)
        angle = 0;
    // Clockwise turns, exact (no sines) so that corners land on whole points.
    gfx::AffineTransform turn;
    float width = box.width(), height = box.height();
    switch (angle) {
    case 90:
        turn = { 0, -1, 1, 0, 0, 0 };
        std::swap(width, height);
        break;
    case 180:
        turn = { -1, 0, 0, -1, 0, 0 };
        break;
    case 270:
        turn = { 0, 1, -1, 0, 0, 0 };
        std::swap(width, height);
        break;
    default:
        break;
    }
    float sx = width > 0 ? target.width() / width : 1;
    float sy = height > 0 ? target.height() / height : 1;
    if (preserveAspectRatio)
        sx = sy = std::min(sx, sy);
    sx = std::min(sx, 1.0f);
    sy = std::min(sy, 1.0f);
    return gfx::AffineTransform::translation(-box.midX(), -box.midY())
        .concatenating(turn)
        .concatenating(gfx::AffineTransform::scale(sx, sy))
        .concatenating(gfx::AffineTransform::translation(target.midX(), target.midY()));
}

} // namespace pdf
