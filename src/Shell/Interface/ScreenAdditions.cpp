#include "Shell/Interface/ScreenAdditions.h"

#include "Platform/UI/Application.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Screen.h"

#include <algorithm>
#include <cmath>

gfx::Rect boundsForOrientation(const ui::Screen& screen, ui::Orientation orientation)
{
    gfx::Rect bounds = screen.bounds();
    if (ui::isLandscape(orientation))
        std::swap(bounds.size.width, bounds.size.height);
    return bounds;
}

gfx::Rect applicationFrameForOrientation(const ui::Screen& screen, ui::Orientation orientation)
{
    gfx::Rect bounds = boundsForOrientation(screen, orientation);
    auto* application = ui::Application::shared();
    if ((application && application->isStatusBarHidden()) || !screen.isMain())
        return bounds;
    float bar = ui::Application::currentStatusBarHeight();
    return { bounds.minX(), bounds.minY() + bar, bounds.width(), std::max(0.0f, bounds.height() - bar) };
}

gfx::Point center(const ui::Screen& screen)
{
    gfx::Rect bounds = screen.bounds();
    return { bounds.midX(), bounds.midY() };
}

gfx::Point centerForOrientation(const ui::Screen& screen, ui::Orientation orientation)
{
    gfx::Rect bounds = boundsForOrientation(screen, orientation);
    return { bounds.midX(), bounds.midY() };
}

float vkScale(const ui::Screen& screen)
{
    float scale = screen.scale();
    return std::isfinite(scale) && scale > 0 ? scale : 1;
}

bool vkIsRetinaDisplay(const ui::Screen& screen)
{
    return vkScale(screen) > 1;
}

std::shared_ptr<gfx::Image> vkLargestFittingImageFromNames(const ui::Screen& screen, const std::vector<std::string>& names)
{
    gfx::Rect bounds = screen.bounds();
    float limit = std::min(bounds.width(), bounds.height());
    std::shared_ptr<gfx::Image> best;
    float bestSide = 0;
    for (const auto& name : names) {
        auto image = ui::Images::imageNamed(name);
        if (!image)
            continue;
        float side = std::max(image->size().width, image->size().height);
        if (side < limit && (!best || side > bestSide)) {
            best = std::move(image);
            bestSide = side;
        }
    }
    return best;
}

bool isStatusBarOrientationLandscape(const ui::Application& application)
{
    return ui::isLandscape(application.statusBarOrientation());
}
