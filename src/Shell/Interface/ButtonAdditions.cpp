#include "Shell/Interface/ButtonAdditions.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"

std::shared_ptr<ui::Button> barButtonItemButtonWithTitle(std::string title, ui::StretchableImage backgroundImage)
{
    auto button = ui::Button::create(ui::Button::Type::Custom);
    button->setTitle(std::move(title), ui::Control::Normal);
    button->titleLabel().setFont(ui::Fonts::boldSystemFont(ui::Fonts::SmallSystemFontSize));
    button->titleLabel().setShadowOffset({ 0, -1 });
    button->setTitleShadowColor(gfx::Color::white(0.39f), ui::Control::Normal);
    button->setTitleColor(gfx::Color::white(0.83f), ui::Control::Disabled);
    button->setBackgroundImage(std::move(backgroundImage), ui::Control::Normal);
    button->sizeToFit();
    gfx::Rect frame = button->frame();
    frame.size.width += 20;
    button->setFrame(frame);
    return button;
}

std::shared_ptr<ui::Button> badgeButton()
{
    auto badge = ui::Button::create(ui::Button::Type::Custom);
    badge->setBackgroundImage(ui::StretchableImage(ui::Images::imageNamed("VKButtonBadge.png"), 10, 0),
        ui::Control::Normal);
    badge->setTitleColor(ui::StandardColors::white(), ui::Control::Normal);
    badge->setTitleEdgeInsets({ -2, 6, 2, 5 });
    badge->titleLabel().setFont(ui::Fonts::boldSystemFont(11));
    badge->titleLabel().setTextAlignment(gfx::TextAlignment::Center);
    badge->setContentHorizontalAlignment(ui::Control::ContentHorizontalAlignment::Center);
    return badge;
}
