#include "Platform/UI/SegmentedControl.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/UTF8.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Touch.h"

#include <fmt/format.h>

namespace ui {

std::shared_ptr<SegmentedControl> SegmentedControl::create(std::vector<Item> items)
{
    auto control = View::make<SegmentedControl>({});
    for (auto& item : items)
        control->insertSegment(std::move(item), control->numberOfSegments());
    control->sizeToFit();
    return control;
}

SegmentedControl::Segment& SegmentedControl::segment(size_t index, const char* what)
{
    if (index >= m_segments.size())
        throw core::Exception(core::Exception::RangeError,
            fmt::format("SegmentedControl::{}: segment {} beyond {} segments", what, index, m_segments.size()));
    return m_segments[index];
}

const SegmentedControl::Segment& SegmentedControl::segment(size_t index, const char* what) const
{
    return const_cast<SegmentedControl*>(this)->segment(index, what);
}

void SegmentedControl::insertSegment(Item item, size_t index, bool)
{
    if (auto* title = std::get_if<std::string>(&item))
        *title = core::utf8::sanitized(*title);
    index = std::min(index, m_segments.size());
    m_segments.insert(m_segments.begin() + long(index), Segment { std::move(item) });
    if (m_selected >= int(index))
        ++m_selected;
    setNeedsLayout();
    setNeedsDisplay();
}

void SegmentedControl::setTitle(std::string title, size_t index)
{
    segment(index, "setTitle").item = core::utf8::sanitized(title);
    setNeedsDisplay();
}

std::string SegmentedControl::titleForSegment(size_t index) const
{
    auto* title = std::get_if<std::string>(&segment(index, "titleForSegment").item);
    return title ? *title : std::string();
}

void SegmentedControl::setImage(std::shared_ptr<gfx::Image> image, size_t index)
{
    segment(index, "setImage").item = std::move(image);
    setNeedsDisplay();
}

std::shared_ptr<gfx::Image> SegmentedControl::imageForSegment(size_t index) const
{
    auto* image = std::get_if<std::shared_ptr<gfx::Image>>(&segment(index, "imageForSegment").item);
    return image ? *image : nullptr;
}

void SegmentedControl::setWidth(float width, size_t index)
{
    if (!(width >= 0) || std::isinf(width))
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("SegmentedControl::setWidth: {} is no width", width));
    segment(index, "setWidth").width = width;
    setNeedsDisplay();
}

void SegmentedControl::setEnabled(bool enabled, size_t index)
{
    segment(index, "setEnabled").enabled = enabled;
    setNeedsDisplay();
}

bool SegmentedControl::isEnabledForSegment(size_t index) const
{
    return segment(index, "isEnabledForSegment").enabled;
}

void SegmentedControl::setSelectedSegmentIndex(int index)
{
    if (index < NoSegment || index >= int(m_segments.size()))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("SegmentedControl::setSelectedSegmentIndex: {} beyond {} segments", index, m_segments.size()));
    m_selected = index;
    setNeedsDisplay();
}

void SegmentedControl::setSegmentedControlStyle(Style style)
{
    m_style = style;
    setNeedsDisplay();
}

gfx::Rect SegmentedControl::rectForSegment(size_t index) const
{
    segment(index, "rectForSegment");
    gfx::Rect b = bounds();
    float fixed = 0;
    size_t shared = 0;
    for (auto& s : m_segments) {
        fixed += s.width;
        if (s.width == 0)
            ++shared;
    }
    float share = shared ? std::max(0.0f, b.width() - fixed) / float(shared) : 0;
    float x = b.x();
    for (size_t i = 0; i < index; ++i)
        x += m_segments[i].width > 0 ? m_segments[i].width : share;
    float width = m_segments[index].width > 0 ? m_segments[index].width : share;
    return { x, b.y(), width, b.height() };
}

int SegmentedControl::segmentAtPoint(gfx::Point point) const
{
    for (size_t i = 0; i < m_segments.size(); ++i)
        if (rectForSegment(i).contains(point))
            return int(i);
    return NoSegment;
}

void SegmentedControl::endTracking(const Touch* touch, const Event* event)
{
    if (!touch || !isTouchInside())
        return;
    int index = segmentAtPoint(touch->locationInView(this));
    if (index == NoSegment || !m_segments[size_t(index)].enabled)
        return;
    if (m_momentary) {
        m_selected = index;
        sendActions(ValueChanged, event);
        m_selected = NoSegment;
        setNeedsDisplay();
        return;
    }
    if (index == m_selected)
        return;
    m_selected = index;
    setNeedsDisplay();
    sendActions(ValueChanged, event);
}

gfx::Size SegmentedControl::sizeThatFits(gfx::Size) const
{
    float width = 0;
    gfx::Font font = Fonts::boldSystemFont(Fonts::SmallSystemFontSize);
    for (auto& s : m_segments) {
        float content = 0;
        if (auto* title = std::get_if<std::string>(&s.item))
            content = Fonts::sizeOfString(*title, font).width;
        else if (auto* image = std::get_if<std::shared_ptr<gfx::Image>>(&s.item); image && *image)
            content = (*image)->size().width;
        width += s.width > 0 ? s.width : content + 20;
    }
    return { width, m_style == Style::Bar ? 30.0f : Height };
}

std::string SegmentedControl::debugText() const
{
    std::string text;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        if (i)
            text += "|";
        if (int(i) == m_selected)
            text += "*";
        text += titleForSegment(i);
    }
    return text;
}

} // namespace ui
