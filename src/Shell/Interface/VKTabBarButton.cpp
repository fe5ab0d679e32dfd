#include "Shell/Interface/VKTabBarButton.h"

#include "Shell/Interface/ScreenAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/StandardViewDrawing.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

std::shared_ptr<VKTabBarButton> VKTabBarButton::tabBarButtonWithBackgroundImageBasename(std::string basename)
{
    auto tab = View::make<VKTabBarButton>({});
    tab->setTitleColor(ui::StandardColors::gray(), Normal);
    tab->setTitleColor(ui::StandardColors::white(), Selected);
    tab->titleLabel().setFont(ui::Fonts::boldSystemFont(TitleFontSize));
    tab->setContentVerticalAlignment(ContentVerticalAlignment::Bottom);
    tab->setAutoresizingMask(FlexibleHeight);
    tab->setAdjustsImageWhenHighlighted(false);
    tab->m_backgroundImageBasename = std::move(basename);
    tab->setBadgeInsets({ 7, 0, 0, 10 });
    tab->observeOrientation();
    tab->interfaceOrientationDidChange();
    return tab;
}

std::shared_ptr<VKTabBarButton> VKTabBarButton::tabBarButtonWithStyle(int style)
{
    if (style != 1)
        return nullptr;
    auto tab = tabBarButtonWithBackgroundImageBasename("VKTabBarButtonMore");
    tab->m_tabBarStyle = style;
    tab->setTitle(core::localized("More"), Normal);
    tab->sizeToFit();
    return tab;
}

// The device reports its own turn before the interface follows, so the
// status bar's change is what settles the artwork; both are heard.
void VKTabBarButton::observeOrientation()
{
    std::weak_ptr<core::Object> weakSelf = weak_from_this();
    auto apply = [weakSelf](const core::Notification&) {
        if (auto self = std::static_pointer_cast<VKTabBarButton>(weakSelf.lock()))
            self->interfaceOrientationDidChange();
    };
    auto& center = core::NotificationCenter::defaultCenter();
    m_deviceTurned = center.observe(ui::Application::deviceOrientationDidChangeNotification, nullptr, apply);
    m_interfaceTurned = center.observe(ui::Application::didChangeStatusBarOrientationNotification, nullptr, apply);
}

std::shared_ptr<gfx::Image> VKTabBarButton::artwork(const std::string& name, const std::string& fallback)
{
    if (auto image = ui::Images::imageNamed(name))
        return image;
    if (!fallback.empty())
        if (auto image = ui::Images::imageNamed(fallback))
            return image;
    const std::string& missing = fallback.empty() ? name : fallback;
    if (m_reportedMissing.insert(missing).second)
        core::log("Warning, no tab artwork named {}", missing);
    return nullptr;
}

void VKTabBarButton::interfaceOrientationDidChange()
{
    auto* application = ui::Application::shared();
    bool landscape = application && isStatusBarOrientationLandscape(*application);
    const std::string& base = m_backgroundImageBasename;
    std::string normal = fmt::format("{}.png", base), selected = fmt::format("{}Selected.png", base);
    std::shared_ptr<gfx::Image> normalImage, selectedImage;
    if (landscape) {
        normalImage = artwork(fmt::format("{}Small.png", base), normal);
        selectedImage = artwork(fmt::format("{}SmallSelected.png", base), selected);
        setTitleEdgeInsets({ -1, 0, 1, 0 });
    } else {
        normalImage = artwork(normal, {});
        selectedImage = artwork(selected, {});
        setTitleEdgeInsets({ -2, 0, 2, 0 });
    }
    setBackgroundImage(normalImage, Normal);
    setBackgroundImage(selectedImage, Selected);
    setBackgroundImage(selectedImage, Highlighted);
    sizeToFit();
}

gfx::Rect VKTabBarButton::backgroundRectForBounds(const gfx::Rect& bounds) const
{
    gfx::Size image = currentBackgroundImage().size();
    if (!currentBackgroundImage())
        return bounds;
    gfx::Rect rect { bounds.origin, image };
    if (image.width < bounds.width())
        rect.origin.x = bounds.minX() + std::floor((bounds.width() - image.width) * 0.5f);
    if (image.height < bounds.height()) {
        float titleTop = titleRectForContentRect(contentRectForBounds(bounds)).minY();
        rect.origin.y = std::ceil((titleTop - image.height) * 0.5f);
    }
    return rect;
}

gfx::Size VKTabBarButton::sizeThatFits(gfx::Size) const
{
    gfx::Size image = currentBackgroundImage().size();
    float title = ui::Fonts::sizeOfString(currentTitle(), titleLabel().font()).width;
    float barHeight = superview() ? superview()->bounds().height() : 0;
    return { std::max(image.width, title + 8), std::max(image.height, barHeight) };
}

void VKTabBarButton::didMoveToSuperview()
{
    VKBadgedButton::didMoveToSuperview();
    if (superview())
        sizeToFit();
}

void VKTabBarButton::draw(gfx::Context& context, const gfx::Rect& rect)
{
    if (isSelected()) {
        gfx::Rect light = bounds().insetBy(2, 2);
        light.origin.y += 1;
        context.saveGState();
        context.setShouldAntialias(true);
        context.setFillColor(gfx::Color::white(1, 0.2f));
        ui::StandardViewDrawing::fillRoundedRect(context, light, 5);
        context.restoreGState();
    }
    VKBadgedButton::draw(context, rect);
}
