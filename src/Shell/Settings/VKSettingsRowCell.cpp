#include "Shell/Settings/VKSettingsRowCell.h"

#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/TableViewCellAdditions.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
#include <cmath>

VKSettingsRowCell::VKSettingsRowCell() : ui::TableViewCell(Style::Default, {}) { }

void VKSettingsRowCell::setUpLabel(std::string_view text)
{
    m_label = createLabelWithFont(*this, ui::Fonts::boldSystemFont(16), ui::StandardColors::black(),
        ui::StandardColors::white(), gfx::LineBreakMode::TailTruncation, true);
    m_label->setMinimumFontSize(12);
    m_label->setText(text);
    m_highlighted.push_back(m_label);
}

void VKSettingsRowCell::addHighlightedLabel(std::shared_ptr<ui::Label> label)
{
    m_highlighted.push_back(std::move(label));
    updateHighlight();
}

void VKSettingsRowCell::setSelected(bool selected, bool animated)
{
    ui::TableViewCell::setSelected(selected, animated);
    updateHighlight();
}

void VKSettingsRowCell::setHighlighted(bool highlighted, bool animated)
{
    ui::TableViewCell::setHighlighted(highlighted, animated);
    updateHighlight();
}

// Only a row that shows a selection turns its text white.
void VKSettingsRowCell::updateHighlight()
{
    bool lit = (isSelected() || isHighlighted()) && selectionStyle() != SelectionStyle::None;
    for (auto& weak : m_highlighted)
        if (auto label = weak.lock())
            label->setHighlighted(lit);
}

gfx::Rect VKSettingsRowCell::contentRect() const
{
    gfx::Rect b = contentView().bounds();
    float margin = VKTableViewGroupedCellMargin.width;
    return { b.x() + margin, b.y(), std::max(0.0f, b.width() - 2 * margin), b.height() };
}

void VKSettingsRowCell::placeLabel(float maxWidth)
{
    if (!m_label)
        return;
    gfx::Rect content = contentRect();
    gfx::Size size = ui::Fonts::sizeOfString(m_label->text(), m_label->font());
    float width = std::clamp(std::ceil(size.width), 0.0f, std::max(0.0f, maxWidth));
    float height = std::min(std::ceil(size.height), content.height());
    m_label->setFrame({ content.minX(), content.minY() + std::floor((content.height() - height) / 2), width, height });
}

gfx::Rect VKSettingsRowCell::valueRect(float right) const
{
    gfx::Rect frame = m_label ? m_label->frame() : gfx::Rect::zero();
    float x = frame.maxX() + 10;
    return { x, frame.minY() - 2, std::max(0.0f, right - x), frame.height() + 4 };
}

gfx::Font VKSettingsRowCell::valueFont()
{
    return ui::Fonts::systemFont(16);
}

std::string VKSettingsRowCell::debugText() const
{
    return m_label ? m_label->text() : ui::TableViewCell::debugText();
}
