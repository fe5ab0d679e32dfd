#include "Platform/UI/SystemItemImages.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

#include <cmath>
#include <map>
#include <mutex>

namespace ui {

namespace {

using SystemItem = BarButtonItem::SystemItem;

constexpr float Side = 20;

// Each glyph on a 20-point square, white lines 2 points wide.
bool drawGlyph(SystemItem item, gfx::Context& c)
{
    c.setStrokeColor(gfx::Color::white(1));
    c.setFillColor(gfx::Color::white(1));
    c.setLineWidth(2);
    c.beginPath();
    switch (item) {
    case SystemItem::Add:
        c.moveToPoint(10, 2), c.addLineToPoint(10, 18);
        c.moveToPoint(2, 10), c.addLineToPoint(18, 10);
        c.strokePath();
        return true;
    case SystemItem::Action:
        // A tray with an arrow rising out of it.
        c.moveToPoint(7, 8), c.addLineToPoint(3, 8), c.addLineToPoint(3, 19);
        c.addLineToPoint(17, 19), c.addLineToPoint(17, 8), c.addLineToPoint(13, 8);
        c.moveToPoint(10, 13), c.addLineToPoint(10, 1);
        c.moveToPoint(6, 5), c.addLineToPoint(10, 1), c.addLineToPoint(14, 5);
        c.strokePath();
        return true;
    case SystemItem::Bookmarks:
        // An open book.
        c.moveToPoint(10, 5), c.addLineToPoint(10, 18);
        c.moveToPoint(10, 5), c.addQuadCurveToPoint(6, 2, 1, 3), c.addLineToPoint(1, 16);
        c.addQuadCurveToPoint(6, 15, 10, 18), c.addQuadCurveToPoint(14, 15, 19, 16), c.addLineToPoint(19, 3);
        c.addQuadCurveToPoint(14, 2, 10, 5);
        c.strokePath();
        return true;
    case SystemItem::Search:
        c.addEllipseInRect({ 2, 2, 11, 11 });
        c.moveToPoint(11.5f, 11.5f), c.addLineToPoint(18, 18);
        c.strokePath();
        return true;
    case SystemItem::Trash:
        // A lid with its handle, and a can narrowing to its foot.
        c.moveToPoint(2, 5), c.addLineToPoint(18, 5);
        c.moveToPoint(7, 5), c.addLineToPoint(7, 2), c.addLineToPoint(13, 2), c.addLineToPoint(13, 5);
        c.moveToPoint(4, 5), c.addLineToPoint(5, 19), c.addLineToPoint(15, 19), c.addLineToPoint(16, 5);
        c.moveToPoint(8, 9), c.addLineToPoint(8, 16);
        c.moveToPoint(12, 9), c.addLineToPoint(12, 16);
        c.strokePath();
        return true;
    case SystemItem::Stop:
        c.moveToPoint(4, 4), c.addLineToPoint(16, 16);
        c.moveToPoint(16, 4), c.addLineToPoint(4, 16);
        c.strokePath();
        return true;
    case SystemItem::Play:
        c.moveToPoint(5, 3), c.addLineToPoint(17, 10), c.addLineToPoint(5, 17), c.closePath();
        c.fillPath();
        return true;
    case SystemItem::Pause:
        c.fillRect({ 4, 3, 4, 14 });
        c.fillRect({ 12, 3, 4, 14 });
        return true;
    case SystemItem::Rewind:
        // Two triangles pointing back, meeting in the middle.
        c.moveToPoint(10, 4), c.addLineToPoint(1, 10), c.addLineToPoint(10, 16), c.closePath();
        c.moveToPoint(19, 4), c.addLineToPoint(10, 10), c.addLineToPoint(19, 16), c.closePath();
        c.fillPath();
        return true;
    case SystemItem::FastForward:
        c.moveToPoint(1, 4), c.addLineToPoint(10, 10), c.addLineToPoint(1, 16), c.closePath();
        c.moveToPoint(10, 4), c.addLineToPoint(19, 10), c.addLineToPoint(10, 16), c.closePath();
        c.fillPath();
        return true;
    case SystemItem::Reply:
        c.moveToPoint(8, 3), c.addLineToPoint(2, 9), c.addLineToPoint(8, 15);
        c.moveToPoint(2, 9), c.addLineToPoint(12, 9), c.addQuadCurveToPoint(18, 9, 18, 17);
        c.strokePath();
        return true;
    case SystemItem::Refresh:
        c.addArc(10, 10, 7, float(-M_PI / 3), float(1.6 * M_PI), false);
        c.moveToPoint(13, 1), c.addLineToPoint(14, 5), c.addLineToPoint(10, 6);
        c.strokePath();
        return true;
    default:
        return false;
    }
}

} // namespace

std::shared_ptr<gfx::Image> systemItemImage(BarButtonItem::SystemItem item)
{
    static std::mutex mutex;
    static std::map<SystemItem, std::shared_ptr<gfx::Image>> drawn;
    std::lock_guard lock(mutex);
    if (auto found = drawn.find(item); found != drawn.end())
        return found->second;
    auto context = gfx::makeImageContext({ Side, Side }, 2);
    std::shared_ptr<gfx::Image> image = drawGlyph(item, *context) ? context->makeImage() : nullptr;
    drawn[item] = image;
    return image;
}

} // namespace ui
