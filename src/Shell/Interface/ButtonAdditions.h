#pragma once

// Buttons built in one call: one that shows an image at its own size, the
// titled button of a bar item, and the small red badge of counts.

#include "Platform/Graphics/Image.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"

#include <memory>
#include <string>

// A custom button of class T showing `image` in the normal state, its
// bounds the image's size at the origin.
template<typename T = ui::Button> std::shared_ptr<T> buttonWithImage(const std::shared_ptr<gfx::Image>& image)
{
    auto button = ui::View::make<T>({});
    button->setImage(image, ui::Control::Normal);
    button->setBounds({ 0, 0, image ? image->size().width : 0, image ? image->size().height : 0 });
    return button;
}

// A custom button for a bar: the title bold at the small system size with
// a light shadow above it, dimmed when disabled, on `backgroundImage`;
// sized to fit, then 20 points wider.
std::shared_ptr<ui::Button> barButtonItemButtonWithTitle(std::string title, ui::StretchableImage backgroundImage);

// The badge: "VKButtonBadge.png" stretched past its 10-point left cap,
// a white bold 11-point title centred on it.
std::shared_ptr<ui::Button> badgeButton();
