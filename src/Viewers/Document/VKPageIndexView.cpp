#include "Viewers/Document/VKPageIndexView.h"

#include "Viewers/Document/VKPageIndexLabelsLayer.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

const std::string& VKPageIndexView::skipCharacter()
{
    static const std::string skip = "\u25CF";
    return skip;
}

std::shared_ptr<VKPageIndexView> VKPageIndexView::create(const gfx::Rect& frame)
{
    std::shared_ptr<VKPageIndexView> view(new VKPageIndexView());
    view->setOpaque(false);
    view->setBackgroundColor(gfx::Color());
    view->setAutoresizingMask(FlexibleLeftMargin | FlexibleHeight);
    view->m_labelsLayer = VKPageIndexLabelsLayer::create(view.get());
    view->addSubview(view->m_labelsLayer);
    view->setFrame(frame);
    return view;
}

VKPageIndexView::~VKPageIndexView()
{
    m_fade.cancel();
    if (m_labelsLayer)
        m_labelsLayer->setPageIndexView(nullptr);
}

void VKPageIndexView::setFrame(const gfx::Rect& frame)
{
    float oldHeight = this->frame().height();
    ui::Control::setFrame(gfx::Rect(frame.x(), frame.y(), m_width, frame.height()));
    if (m_labelsLayer)
        m_labelsLayer->setFrame(bounds());
    if (oldHeight != frame.height()) {
        reloadLabels();
        setNeedsDisplay();
    }
}

void VKPageIndexView::setPageCount(unsigned count)
{
    if (count == m_pageCount)
        return;
    m_pageCount = count;
    reloadLabels();
}

void VKPageIndexView::setFont(const gfx::Font& font)
{
    m_font = font;
    reloadLabels();
}

gfx::Rect VKPageIndexView::trackBounds() const
{
    gfx::Rect b = bounds();
    float inset = m_font.pointSize() * 0.5f + 5;
    return gfx::Rect(b.x(), b.y() + inset, b.width(), b.height() - 2 * inset);
}

gfx::Rect VKPageIndexView::labelBounds() const
{
    gfx::Rect b = bounds();
    return gfx::Rect(b.x(), b.y() + 5, b.width(), b.height() - 10);
}

unsigned VKPageIndexView::skipStep(unsigned count, unsigned limit)
{
    // The smallest step with count / step + 1 <= limit is count / limit + 1;
    // a limit of 0 is never met, so the caller must not ask.
    if (limit == 0)
        return count;
    return std::max(2u, count / limit + 1);
}

std::vector<std::string> VKPageIndexView::labelsForPageCount(unsigned count, float height, float pointSize)
{
    std::vector<std::string> labels;
    if (count == 0 || !(height > 0) || !(pointSize > 0))
        return labels;
    if (height / float(count) >= pointSize) {
        labels.reserve(count);
        for (unsigned page = 1; page <= count; ++page)
            labels.push_back(fmt::format("{}", page));
        return labels;
    }
    double rows = std::floor(double(height) / double(pointSize));
    if (rows < 1)
        return labels; // shorter than one line of text: nothing fits
    unsigned rowCount = rows > 4e9 ? 4000000000u : unsigned(rows);
    unsigned limit = rowCount % 2 == 0 ? rowCount : rowCount + 1;
    unsigned step = skipStep(count, limit);
    labels.push_back("1");
    bool lastWasNumber = false;
    bool added = false;
    unsigned multiple = 1;
    for (unsigned long long page = step; page < count; page += step, ++multiple) {
        added = true;
        if (multiple % 2 == 1) {
            labels.push_back(skipCharacter());
            lastWasNumber = false;
        } else {
            labels.push_back(fmt::format("{}", page));
            lastWasNumber = true;
        }
    }
    if (lastWasNumber || !added)
        labels.push_back(skipCharacter());
    labels.push_back(fmt::format("{}", count));
    return labels;
}

float VKPageIndexView::widthForLabels(const std::vector<std::string>& labels, const gfx::Font& font)
{
    float widest = 0;
    for (const auto& label : labels)
        widest = std::max(widest, font.widthOfString(label));
    return std::max(Width, std::ceil(widest) + 2 * LabelMargin);
}

void VKPageIndexView::reloadLabels()
{
    m_labels = labelsForPageCount(m_pageCount, labelBounds().height(), m_font.pointSize());
    // Long page numbers widen the capsule to the left, its right edge kept.
    if (float width = widthForLabels(m_labels, m_font); width != m_width) {
        m_width = width;
        gfx::Rect now = frame();
        ui::Control::setFrame(gfx::Rect(now.maxX() - width, now.y(), width, now.height()));
        if (m_labelsLayer)
            m_labelsLayer->setFrame(bounds());
        setNeedsDisplay();
    }
    if (m_labelsLayer)
        m_labelsLayer->setNeedsDisplay();
}

void VKPageIndexView::fadeOut(bool fade, bool animated)
{
    m_fade.cancel();
    setEnabled(!fade);
    VKDelayedFade::apply(*this, fade, animated, "VKPageIndexViewAnim");
}

void VKPageIndexView::fadeOut(bool fade, bool animated, double delay)
{
    std::weak_ptr<VKPageIndexView> weak = sharedAs<VKPageIndexView>();
    m_fade.schedule(sharedAs<ui::View>(), fade, animated, delay, [weak](bool fade, bool animated) {
        if (auto view = weak.lock())
            view->fadeOut(fade, animated);
    });
}

void VKPageIndexView::setAlpha(float alpha)
{
    m_fade.cancel();
    ui::Control::setAlpha(alpha);
}

void VKPageIndexView::setHighlighted(bool highlighted)
{
    if (!highlighted && isTracking())
        return;
    if (highlighted)
        m_fade.cancel();
    if (highlighted != isHighlighted()) {
        ui::Control::setHighlighted(highlighted);
        setNeedsDisplay();
    }
}

ui::View* VKPageIndexView::hitTest(gfx::Point point, const ui::Event* event)
{
    if (isEnabled() && !isHidden() && bounds().contains(point))
        return this;
    return ui::Control::hitTest(point, event);
}

void VKPageIndexView::setValueNow(float value)
{
    if (!(value >= 0))
        value = 0;
    if (value > 1)
        value = 1;
    m_value = value;
    sendActions(ValueChanged);
}

bool VKPageIndexView::beginTracking(const ui::Touch& touch, const ui::Event&)
{
    gfx::Point point = touch.locationInView(this);
    bool inside = bounds().contains(point);
    if (inside) {
        gfx::Rect track = trackBounds();
        float value = (point.y - track.y()) / track.height();
        core::RunLoop::main().performAfter(sharedAs<VKPageIndexView>(), 0, [value](VKPageIndexView& view) {
            view.setValueNow(value);
        });
    }
    return inside;
}

bool VKPageIndexView::continueTracking(const ui::Touch& touch, const ui::Event&)
{
    gfx::Point point = touch.locationInView(this);
    gfx::Rect track = trackBounds();
    setValueNow((point.y - track.y()) / track.height());
    return true;
}

void VKPageIndexView::endTracking(const ui::Touch* touch, const ui::Event* event)
{
    ui::Control::endTracking(touch, event);
}

void VKPageIndexView::cancelTracking(const ui::Event* event)
{
    ui::Control::cancelTracking(event);
}

bool VKPageIndexView::isWithinTolerance(gfx::Point point) const
{
    return point.x > bounds().minX() && point.x < bounds().maxX();
}

void VKPageIndexView::draw(gfx::Context& context, const gfx::Rect&)
{
    gfx::Rect b = bounds();
    float radius = b.width() * 0.5f;
    context.saveGState();
    context.setAlpha(isHighlighted() ? 1.0f : 0.75f);
    context.setFillColor(gfx::Color::white(0, 0.6f));
    context.beginPath();
    context.addArc(b.midX(), b.minY() + radius, radius, float(M_PI), 0, false);
    context.addArc(b.midX(), b.maxY() - radius, radius, 0, float(M_PI), false);
    context.closePath();
    context.fillPath();
    context.restoreGState();
}
