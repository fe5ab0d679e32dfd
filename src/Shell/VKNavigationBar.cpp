#include "Shell/VKNavigationBar.h"

#include "Shell/Interface/LayoutConstants.h"
#include "Shell/Interface/ScreenAdditions.h"
#include "Kit/VKGeometry.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"

#include <algorithm>
#include <cmath>

namespace {

// Heights of the bar with a prompt; without one the toolbar heights.
constexpr float PortraitPromptHeight = 64;
constexpr float LandscapePromptHeight = 50;

// The measures of the prompt layout, portrait and landscape.
struct PromptMetrics {
    float titleFontSize;
    float margin;       // beside the side buttons
    float bottomMargin; // under the side buttons
    float buttonHeight;
    float promptTop;
    float titleBottomMargin;
};
constexpr PromptMetrics PortraitMetrics { 20, 5, 8, 30, -5, 13 };
constexpr PromptMetrics LandscapeMetrics { 16, 4, 4, 24, -6, 7 };

bool interfaceIsLandscape()
{
    auto* application = ui::Application::shared();
    return application && isStatusBarOrientationLandscape(*application);
}

bool hasPrompt(const ui::NavigationBar& bar)
{
    auto* top = bar.topItem();
    return top && !top->prompt().empty();
}

} // namespace

std::shared_ptr<VKNavigationBar> VKNavigationBar::create(const gfx::Rect& frame)
{
    return make<VKNavigationBar>(frame);
}

gfx::Size VKNavigationBar::sizeThatFits(gfx::Size) const
{
    auto* application = ui::Application::shared();
    auto orientation = application ? application->statusBarOrientation() : ui::Orientation::Portrait;
    float width = boundsForOrientation(*ui::Screen::main(), orientation).width();
    bool landscape = ui::isLandscape(orientation);
    float height = hasPrompt(*this) ? (landscape ? LandscapePromptHeight : PortraitPromptHeight)
                                    : (landscape ? VKToolbarSmallHeight : VKToolbarDefaultHeight);
    return { width, height };
}

void VKNavigationBar::layoutSubviews()
{
    makeViewsIfNeeded();
    bool landscape = interfaceIsLandscape();
    const PromptMetrics& metrics = landscape ? LandscapeMetrics : PortraitMetrics;
    if (auto* title = dynamic_cast<ui::Label*>(titleView()))
        title->setFont(ui::Fonts::boldSystemFont(metrics.titleFontSize));
    // The base layout places everything; with a prompt it also gives the
    // prompt its size, and the views are then moved to fit under it.
    ui::NavigationBar::layoutSubviews();
    if (hasPrompt(*this))
        layoutForPrompt(landscape);
}

void VKNavigationBar::layoutForPrompt(bool landscape)
{
    const PromptMetrics& m = landscape ? LandscapeMetrics : PortraitMetrics;
    gfx::Rect b = bounds();
    if (auto* prompt = promptView()) {
        gfx::Size size = prompt->frame().size;
        prompt->setFrame({ std::round((b.width() - size.width) * 0.5f), m.promptTop, size.width, size.height });
    }
    float buttonY = b.maxY() - m.buttonHeight - m.bottomMargin;
    ui::View* left = leftButtonView();
    if (left) {
        gfx::Size size = left->frame().size;
        if (VKSizeIsEmpty(size))
            if (auto* button = dynamic_cast<ui::BarItemButton*>(left))
                size.width = button->titleWidth() + 20;
        left->setFrame({ m.margin, buttonY, size.width, m.buttonHeight });
    }
    ui::View* right = rightButtonView();
    if (right) {
        float width = right->frame().width();
        right->setFrame({ b.maxX() - width - m.margin, buttonY, width, m.buttonHeight });
    }
    ui::View* title = titleView();
    auto* top = topItem();
    if (!title || !top || top->title().empty())
        return;
    float leftLimit = left ? left->frame().maxX() : b.minX();
    float rightLimit = right ? right->frame().minX() - 2 * m.margin : b.maxX();
    gfx::Size size = ui::Fonts::sizeOfString(top->title(), ui::Fonts::boldSystemFont(m.titleFontSize),
        std::max(0.0f, rightLimit - leftLimit), gfx::LineBreakMode::TailTruncation);
    size.height += 2;
    float x = (b.width() - size.width) * 0.5f;
    if (x + size.width > rightLimit)
        x = rightLimit - size.width;
    x = std::floor(std::max(x, leftLimit + 8));
    float y = std::round(b.maxY() - size.height - m.titleBottomMargin);
    title->setFrame({ x, y, size.width, size.height });
}
