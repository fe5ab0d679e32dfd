#include "Shell/Settings/VKSwitchCell.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Switch.h"

#include <cmath>

std::shared_ptr<VKSwitchCell> VKSwitchCell::initWithLabel(std::string_view label, std::string_view defaultsKey)
{
    auto cell = std::make_shared<VKSwitchCell>();
    cell->setUpLabel(label);
    cell->setSelectionStyle(SelectionStyle::None);
    cell->m_defaultsKey = defaultsKey;
    cell->m_switch = ui::Switch::create();
    std::weak_ptr<core::Object> weak = cell;
    cell->m_switch->addTarget(nullptr, "switchValueDidChange", [weak](ui::Control&, const ui::Event*) {
        if (auto self = std::static_pointer_cast<VKSwitchCell>(weak.lock()))
            self->switchValueDidChange();
    }, ui::Control::ValueChanged);
    cell->contentView().addSubview(cell->m_switch);
    cell->syncToDefaults();
    return cell;
}

void VKSwitchCell::switchValueDidChange()
{
    if (m_defaultsKey.empty())
        return;
    core::UserDefaults::standard()->set(m_defaultsKey, core::Value(m_switch->isOn() != m_negateValue));
}

bool VKSwitchCell::activateControl()
{
    if (isEnabled())
        m_switch->toggle();
    return true;
}

void VKSwitchCell::syncToDefaults()
{
    bool stored = !m_defaultsKey.empty() && core::UserDefaults::standard()->boolForKey(m_defaultsKey);
    m_switch->setOn(stored != m_negateValue);
}

void VKSwitchCell::setNegateValue(bool negate)
{
    m_negateValue = negate;
    syncToDefaults();
}

void VKSwitchCell::setEnabled(bool enabled)
{
    VKControlCell::setEnabled(enabled);
    m_switch->setEnabled(enabled);
}

void VKSwitchCell::layoutSubviews()
{
    VKControlCell::layoutSubviews();
    gfx::Rect content = contentRect();
    gfx::Size size = m_switch->frame().size;
    m_switch->setFrame({ content.maxX() - size.width, content.minY() + std::floor((content.height() - size.height) / 2),
        size.width, size.height });
    placeLabel(content.width());
    gfx::Rect frame = label().frame();
    label().setFrame({ frame.minX(), frame.minY(), std::max(0.0f, m_switch->frame().minX() - 10 - frame.minX()),
        frame.height() });
}
