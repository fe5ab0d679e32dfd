#include "Shell/Interface/VKActionButton.h"

#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/ScreenAdditions.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>
#include <cmath>

namespace {

// Where the toolbar is the small one: a phone turned sideways (a tablet's
// bar keeps its height).
bool isLandscapeInterface()
{
    auto* application = ui::Application::shared();
    return application && isStatusBarOrientationLandscape(*application)
        && ui::Screen::userInterfaceIdiom() == core::Device::Idiom::Phone;
}

gfx::Font titleFont(bool landscape)
{
    return ui::Fonts::boldSystemFont(landscape ? VKActionButton::SmallTitleFontSize : VKActionButton::TitleFontSize);
}

} // namespace

void VKActionButton::setUpActionButton()
{
    setContentVerticalAlignment(ContentVerticalAlignment::Bottom);
    setAutoresizingMask(FlexibleHeight);
    setAdjustsImageWhenHighlighted(false);
    setOpaque(false);
    setTitleEdgeInsets({ -1, 0, 1, 0 });
    titleLabel().setFont(titleFont(false));
    setBadgeInsets({ 7, 0, 0, 5 });
}

void VKActionButton::setTitle(std::string title)
{
    Button::setTitle(std::move(title), Normal);
}

void VKActionButton::setImage(std::shared_ptr<gfx::Image> image)
{
    setBackgroundImage(std::move(image), Normal);
    sizeToFit();
}

void VKActionButton::setHighlighted(bool highlighted)
{
    VKBadgedButton::setHighlighted(highlighted);
    setBackgroundColor(highlighted && !showsTouchWhenHighlighted() ? gfx::Color::white(0, 0.3f)
                                                                     : ui::StandardColors::clear());
}

void VKActionButton::setEnabled(bool enabled)
{
    VKBadgedButton::setEnabled(enabled);
    float alpha = enabled ? 1.0f : 0.5f;
    setAlpha(alpha);
    titleLabel().setAlpha(alpha);
}

void VKActionButton::didMoveToSuperview()
{
    VKBadgedButton::didMoveToSuperview();
    sizeToFit();
}

void VKActionButton::layoutSubviews()
{
    bool landscape = isLandscapeInterface();
    gfx::Font font = titleFont(landscape);
    if (titleLabel().font() != font)
        titleLabel().setFont(font);
    gfx::EdgeInsets insets = landscape ? gfx::EdgeInsets {} : gfx::EdgeInsets { -1, 0, 1, 0 };
    if (titleEdgeInsets() != insets)
        setTitleEdgeInsets(insets);
    VKBadgedButton::layoutSubviews();
}

gfx::Size VKActionButton::sizeThatFits(gfx::Size size) const
{
    bool landscape = isLandscapeInterface();
    float title = ui::Fonts::sizeOfString(currentTitle(), titleFont(landscape)).width;
    float width = std::max({ size.width, title, currentBackgroundImage().size().width });
    return { width, landscape ? VKToolbarSmallHeight : VKToolbarDefaultHeight };
}

gfx::Rect VKActionButton::backgroundRectForBounds(const gfx::Rect& bounds) const
{
    auto background = currentBackgroundImage();
    if (!background)
        return bounds;
    gfx::Rect room = bounds;
    if (!currentTitle().empty()) {
        float top = bounds.minY() + 1;
        float bottom = titleRectForContentRect(contentRectForBounds(bounds)).minY() - 1;
        room = { bounds.minX(), top, bounds.width(), bottom - top };
    }
    gfx::Size size = background.size();
    if (size.height > room.height() && room.height() > 0 && size.height > 0) {
        size.width = std::round(size.width * room.height() / size.height);
        size.height = room.height();
    }
    float x = bounds.minX() + std::trunc((bounds.width() - size.width) / 2);
    float y = room.minY() + std::ceil((room.height() - size.height) / 2);
    return { x, y, size.width, size.height };
}
