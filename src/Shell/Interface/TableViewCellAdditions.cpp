#include "Shell/Interface/TableViewCellAdditions.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"

std::shared_ptr<ui::Label> createLabelWithFont(ui::TableViewCell& cell, const gfx::Font& font,
    const gfx::Color& textColor, const gfx::Color& highlightedTextColor, gfx::LineBreakMode lineBreakMode,
    bool adjustsFontSizeToFitWidth)
{
    auto label = ui::Label::create();
    label->setOpaque(false);
    label->setBackgroundColor(ui::StandardColors::clear());
    label->setFont(font);
    label->setTextColor(textColor);
    label->setHighlightedTextColor(highlightedTextColor);
    label->setLineBreakMode(lineBreakMode);
    label->setAdjustsFontSizeToFitWidth(adjustsFontSizeToFitWidth);
    cell.contentView().addSubview(label);
    return label;
}

ui::TableView* tableView(const ui::TableViewCell& cell)
{
    return dynamic_cast<ui::TableView*>(cell.superview());
}

void layoutLabel(const ui::TableViewCell&, ui::Label& label, const gfx::Rect& rect, float margin)
{
    float height = ui::Fonts::sizeOfString(label.text(), label.font(), rect.width(), label.lineBreakMode()).height;
    label.setFrame({ rect.minX(), rect.maxY() + margin, rect.width(), height });
}
