#include "WebBrowser/VKBarButton.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"

namespace {

void setBackgrounds(VKBarButton& button, const char* normal, const char* pressed)
{
    button.setBackgroundImage({ ui::Images::imageNamed(normal), 5, 0 }, ui::Control::Normal);
    button.setBackgroundImage({ ui::Images::imageNamed(pressed), 5, 0 }, ui::Control::Selected);
}

} // namespace

VKBarButton::VKBarButton()
    : ui::Button(Type::Custom)
{
}

std::shared_ptr<VKBarButton> VKBarButton::buttonWithStyle(int style)
{
    auto button = View::make<VKBarButton>({});
    button->titleLabel().setFont(ui::Fonts::boldSystemFont(ui::Fonts::SmallSystemFontSize));
    button->setTitleEdgeInsets(titleEdgeInsets());
    if (style == Default) {
        setBackgrounds(*button, "VKBarButtonDefaultButton.png", "VKBarButtonDefaultButtonPressed.png");
        button->setTitleColor(gfx::Color::rgb255(62, 73, 83), Normal);
        button->setTitleShadowColor(gfx::Color::white(1, 0.8f), Normal);
        button->titleLabel().setShadowOffset({ 0, 1 });
    } else if (style == Done) {
        setBackgrounds(*button, "VKBarButtonDoneButton.png", "VKBarButtonDoneButtonPressed.png");
        button->setTitleColor(gfx::Color::white(1), Normal);
        button->setTitleShadowColor(gfx::Color::white(0, 0.45f), Normal);
        button->titleLabel().setShadowOffset({ 0, -1 });
    }
    return button;
}

gfx::Size VKBarButton::sizeThatFits(gfx::Size) const
{
    gfx::EdgeInsets insets = titleEdgeInsets();
    float width = ui::Fonts::sizeOfString(currentTitle(), titleLabel().font()).width;
    return { width + insets.left + insets.right, currentBackgroundImage().size().height };
}
