#include "WebBrowser/VKWebBarMotion.h"

#include "Platform/UI/ViewAnimation.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <algorithm>

void VKWebBarMotion::slideIntoSight(VKWebNavigationView& bar, float top)
{
    gfx::Rect frame = bar.frame();
    if (top > VKWebNavigationView::DefaultHeight && frame.y() != top) {
        // The bar comes down into sight from just above what shows.
        ui::ViewAnimation::performWithoutAnimation([&] {
            bar.setFrame({ frame.x(), top - VKWebNavigationView::DefaultHeight, frame.width(), frame.height() });
        });
        ui::ViewAnimation::begin(VKWebBrowserController::LoadingAnimation);
        ui::ViewAnimation::setCurve(ui::ViewAnimation::Curve::EaseOut);
        bar.setFrame({ frame.x(), top, frame.width(), frame.height() });
        ui::ViewAnimation::commit();
    }
}

void VKWebBarMotion::moveToTop(VKWebNavigationView& bar, bool animated)
{
    gfx::Rect frame = bar.frame();
    if (frame.y() <= 0)
        return;
    if (animated) {
        ui::ViewAnimation::begin(VKWebBrowserController::MoveToTopAnimation);
        ui::ViewAnimation::setCurve(ui::ViewAnimation::Curve::EaseIn);
        ui::ViewAnimation::setDuration(std::min(1.0, frame.y() * 0.2 / VKWebNavigationView::DefaultHeight));
    }
    bar.setFrame({ frame.x(), 0, frame.width(), frame.height() });
    if (animated)
        ui::ViewAnimation::commit();
}
