#include "App/FolderBrowser/VKIndexView.h"

#include "App/FolderBrowser/VKIndexViewLabelsLayer.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/StandardViewDrawing.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Transaction.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace {

// The layer's geometry follows the strip at once, never animated.
void placeWithoutAnimation(ui::Layer& layer, const gfx::Rect& frame)
{
    ui::Transaction::begin();
    ui::Transaction::setDisableActions(true);
    layer.setFrame(frame);
    ui::Transaction::commit();
}

} // namespace

const std::string& VKIndexView::skipMark()
{
    static const std::string mark = "\u25CF";
    return mark;
}

std::shared_ptr<VKIndexView> VKIndexView::create(const gfx::Rect& frame)
{
    return View::make<VKIndexView>(frame);
}

VKIndexView::VKIndexView()
    : m_font(ui::Fonts::boldSystemFont(DefaultFontSize))
{
    setOpaque(false);
    setBackgroundColor(ui::StandardColors::clear());
    setAutoresizingMask(FlexibleLeftMargin | FlexibleHeight);
    m_labelsLayer = VKIndexViewLabelsLayer::create(this);
    if (auto screen = ui::Screen::main())
        m_labelsLayer->setContentsScale(screen->scale());
    m_labelsLayer->setOpacity(UntouchedLabelsOpacity);
    layer().addSublayer(m_labelsLayer);
}

VKIndexView::~VKIndexView()
{
    m_labelsLayer->setIndexView(nullptr);
}

void VKIndexView::setFont(const gfx::Font& font)
{
    m_font = font;
    if (dataSource())
        reloadLabels();
}

gfx::Size VKIndexView::sizeThatFits(gfx::Size size) const
{
    return { Width, size.height };
}

void VKIndexView::setFrame(const gfx::Rect& frame)
{
    float oldHeight = bounds().height();
    Control::setFrame({ frame.origin, sizeThatFits(frame.size) });
    placeWithoutAnimation(*m_labelsLayer, bounds());
    if (dataSource() && bounds().height() != oldHeight) {
        reloadLabels();
        setNeedsDisplay();
    }
}

gfx::Rect VKIndexView::labelBounds() const
{
    gfx::Rect b = bounds();
    return { b.x(), b.y() + LabelInset, b.width(), b.height() - 2 * LabelInset };
}

gfx::Rect VKIndexView::trackBounds() const
{
    gfx::Rect b = bounds();
    float inset = m_font.pointSize() / 2 + LabelInset;
    return { b.x(), b.y() + inset, b.width(), b.height() - 2 * inset };
}

// Keeps the labels at 0, step, 2 × step … of each section that may be
// compressed, a skip mark after each but the last, and, when the last one
// kept is not the section's last, a mark and the section's last label.
size_t VKIndexView::compress(int step)
{
    m_displaySections.clear();
    size_t count = 0;
    for (size_t s = 0; s < m_labelSections.size(); ++s) {
        const auto& labels = m_labelSections[s];
        if (!m_compressible[s]) {
            m_displaySections.push_back(labels);
            count += labels.size();
            continue;
        }
        std::vector<std::string> shown;
        size_t n = size_t(step);
        size_t last = 0;
        for (size_t at = 0; at < labels.size(); at += n) {
            shown.push_back(labels[at]);
            last = at;
            if (at + n < labels.size())
                shown.push_back(skipMark());
        }
        if (!labels.empty() && last + 1 != labels.size()) {
            shown.push_back(skipMark());
            shown.push_back(labels.back());
        }
        count += shown.size();
        m_displaySections.push_back(std::move(shown));
    }
    return count;
}

void VKIndexView::reloadLabels()
{
    m_displayCount = 0;
    m_labelSections.clear();
    m_displaySections.clear();
    m_compressible.clear();
    if (auto source = dataSource()) {
        size_t sections = source->numberOfSectionsInIndexView(*this);
        size_t total = 0;
        for (size_t s = 0; s < sections; ++s) {
            m_labelSections.push_back(source->labelsForSection(*this, s));
            m_compressible.push_back(source->canCompressLabelsInSection(*this, s));
            total += m_labelSections.back().size();
        }
        float height = labelBounds().height();
        float size = m_font.pointSize();
        if (total > 0 && height / float(total) >= size) {
            m_displaySections = m_labelSections;
            m_displayCount = total;
        } else if (total > 0) {
            for (int step = SmallestStep; step <= LargestStep; ++step) {
                m_displayCount = compress(step);
                if (m_displayCount > 0 && height / float(m_displayCount) >= size)
                    break;
            }
        }
    }
    m_labelsLayer->setNeedsDisplay();
}

std::optional<std::string> VKIndexView::labelForTouch(const ui::Touch& touch)
{
    return labelAtPoint(touch.locationInView(this));
}

// Rows follow the labels shown; the row a point falls in picks, by the
// point's place in its section, one of the section's full labels.
std::optional<std::string> VKIndexView::labelAtPoint(gfx::Point point)
{
    if (m_labelSections.empty() || m_displaySections.empty() || m_displayCount == 0)
        return std::nullopt;
    if (auto* super = superview())
        super->layoutIfNeeded();
    gfx::Rect track = trackBounds();
    float y = point.y - track.y();
    if (y < 0 || y > track.maxY())
        return std::nullopt;
    float rowHeight = labelBounds().height() / float(m_displayCount);
    if (!(rowHeight > 0))
        return std::nullopt;
    auto lastLabel = [&]() -> std::optional<std::string> {
        for (auto it = m_labelSections.rbegin(); it != m_labelSections.rend(); ++it)
            if (!it->empty())
                return it->back();
        return std::nullopt;
    };
    size_t row = 0;
    for (size_t s = 0; s < m_displaySections.size() && s < m_labelSections.size(); ++s) {
        float start = float(row) * rowHeight;
        row += m_displaySections[s].size();
        float end = float(row) * rowHeight;
        const auto& labels = m_labelSections[s];
        if (y < start || y >= end || labels.empty())
            continue;
        auto index = size_t(std::floor(float(labels.size()) * (y - start) / (end - start)));
        return labels[std::min(index, labels.size() - 1)];
    }
    return lastLabel();
}

void VKIndexView::setSelectedLabel(std::optional<std::string> label)
{
    if (label != m_selectedLabel)
        m_selectedLabel = std::move(label);
    if (m_selectedLabel)
        sendActions(ValueChanged);
}

void VKIndexView::setHighlighted(bool highlighted)
{
    // A finger sliding off the strip keeps it lit until it lifts.
    if (isTracking() && !highlighted)
        return;
    if (highlighted == isHighlighted())
        return;
    m_labelsLayer->setOpacity(highlighted ? 1.0f : UntouchedLabelsOpacity);
    setNeedsDisplay();
    Control::setHighlighted(highlighted);
}

// The application lays out before it hit-tests, so nothing is laid out
// here: a layout now could change the subviews a caller is walking.
ui::View* VKIndexView::hitTest(gfx::Point point, const ui::Event*)
{
    if (isHidden() || !isEnabled() || !isUserInteractionEnabled())
        return nullptr;
    return pointInside(point) ? this : nullptr;
}

bool VKIndexView::beginTracking(const ui::Touch& touch, const ui::Event&)
{
    gfx::Point point = touch.locationInView(this);
    if (!bounds().contains(point))
        return false;
    core::RunLoop::main().performAfter(sharedAs<VKIndexView>(), 0, [label = labelAtPoint(point)](VKIndexView& self) {
        self.setSelectedLabel(label);
    });
    return true;
}

bool VKIndexView::continueTracking(const ui::Touch& touch, const ui::Event&)
{
    if (auto label = labelForTouch(touch))
        setSelectedLabel(std::move(label));
    return true;
}

void VKIndexView::endTracking(const ui::Touch*, const ui::Event*)
{
    setSelectedLabel(std::nullopt);
}

void VKIndexView::draw(gfx::Context& context, const gfx::Rect&)
{
    if (!isHighlighted())
        return;
    gfx::Rect b = bounds();
    context.setFillColor(gfx::Color::rgb255(126, 136, 140, 0.75f));
    ui::StandardViewDrawing::fillRoundedRect(context, b, std::min(b.width(), b.height()) / 2);
}

std::string VKIndexView::debugText() const
{
    std::string text;
    for (auto& section : m_displaySections)
        for (auto& label : section)
            text += (text.empty() ? "" : " ") + label;
    return text;
}
