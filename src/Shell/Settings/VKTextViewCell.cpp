#include "Shell/Settings/VKTextViewCell.h"

#include "Shell/Settings/VKSettingsRowCell.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/TextView.h"

#include <algorithm>

VKTextViewCell::VKTextViewCell() : ui::TableViewCell(Style::Default, {}) { }

std::shared_ptr<VKTextViewCell> VKTextViewCell::initWithDefaultsKey(std::string_view defaultsKey)
{
    auto cell = std::make_shared<VKTextViewCell>();
    cell->setSelectionStyle(SelectionStyle::None);
    cell->m_defaultsKey = defaultsKey;
    cell->m_textView = ui::TextView::create();
    cell->m_textView->setFont(VKSettingsRowCell::valueFont());
    cell->contentView().addSubview(cell->m_textView);
    cell->syncToDefaults();
    return cell;
}

void VKTextViewCell::syncToDefaults()
{
    if (!m_defaultsKey.empty())
        m_textView->setText(core::UserDefaults::standard()->stringForKey(m_defaultsKey));
}

void VKTextViewCell::commitToDefaults()
{
    if (!m_defaultsKey.empty())
        core::UserDefaults::standard()->set(m_defaultsKey, core::Value(m_textView->text()));
}

bool VKTextViewCell::becomeFirstResponder()
{
    return m_textView->becomeFirstResponder();
}

bool VKTextViewCell::resignFirstResponder()
{
    return m_textView->resignFirstResponder();
}

void VKTextViewCell::layoutSubviews()
{
    ui::TableViewCell::layoutSubviews();
    gfx::Rect b = contentView().bounds();
    m_textView->setFrame({ b.x() + 10, b.y() + 5, std::max(0.0f, b.width() - 20), std::max(0.0f, b.height() - 10) });
}
