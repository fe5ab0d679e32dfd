#include "Shell/Settings/VKEditableListItemEditingCell.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TextField.h"

#include <algorithm>

std::shared_ptr<VKEditableListItemEditingCell> VKEditableListItemEditingCell::create()
{
    auto cell = std::make_shared<VKEditableListItemEditingCell>();
    cell->setFrame({ 0, 0, 320, 44 });
    return cell;
}

VKEditableListItemEditingCell::VKEditableListItemEditingCell()
    : ui::TableViewCell(Style::Default, CellIdentifier)
    , m_textField(ui::TextField::create())
{
    setSelectionStyle(SelectionStyle::None);
    m_textField->setFont(ui::Fonts::boldSystemFont(18));
    m_textField->setTextColor(ui::StandardColors::black());
    m_textField->setBackgroundColor(ui::StandardColors::clear());
    contentView().addSubview(m_textField);
}

void VKEditableListItemEditingCell::layoutSubviews()
{
    ui::TableViewCell::layoutSubviews();
    gfx::Rect b = contentView().bounds();
    m_textField->setFrame({ b.x() + 10, b.y() + 10, std::max(0.0f, b.width() - 20), std::max(0.0f, b.height() - 20) });
}

std::string VKEditableListItemEditingCell::debugText() const
{
    return m_textField->debugText();
}
