#include "Kit/VKTintButton.h"

std::shared_ptr<VKTintButton> VKTintButton::create(const gfx::Rect& frame)
{
    return make<VKTintButton>(frame);
}

void VKTintButton::setTintColor(const gfx::Color& color)
{
    auto it = m_tintImages.find(color);
    setImage(it == m_tintImages.end() ? nullptr : it->second, ui::Control::Normal);
}
