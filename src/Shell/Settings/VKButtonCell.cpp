#include "Shell/Settings/VKButtonCell.h"

#include "Platform/UI/Label.h"

std::shared_ptr<VKButtonCell> VKButtonCell::initWithLabel(std::string_view label,
    const std::shared_ptr<core::Object>& target, std::string action, Action function)
{
    auto cell = std::make_shared<VKButtonCell>();
    cell->setUpLabel(label);
    cell->label().setTextAlignment(gfx::TextAlignment::Center);
    cell->m_target = target;
    cell->m_hasTarget = target != nullptr;
    cell->m_action = std::move(action);
    cell->m_function = std::move(function);
    return cell;
}

void VKButtonCell::buttonPushed()
{
    if (!isEnabled() || !m_function)
        return;
    auto target = m_target.lock();
    if (m_hasTarget && !target)
        return;
    auto keep = shared_from_this();
    m_function(*this);
}

void VKButtonCell::layoutSubviews()
{
    VKControlCell::layoutSubviews();
    // The whole content rectangle: the text is centred in it.
    gfx::Rect content = contentRect();
    placeLabel(content.width());
    gfx::Rect frame = label().frame();
    label().setFrame({ content.minX(), frame.minY(), content.width(), frame.height() });
}
