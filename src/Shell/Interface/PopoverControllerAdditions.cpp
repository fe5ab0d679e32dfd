#include "Shell/Interface/PopoverControllerAdditions.h"

#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/View.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr float AnchorSide = 20;

// The popovers the system cancelled, weakly: entries whose popover is gone
// are dropped whenever the list changes.
std::vector<std::weak_ptr<core::Object>> systemCancelled;

} // namespace

bool presentPopoverFromBarButtonItemRect(ui::PopoverController& popover, const ui::BarButtonItem& item,
    unsigned directions, bool animated)
{
    if (auto view = item.view(); view && view->window()) {
        popover.presentFromRect(view->bounds(), *view, directions, animated);
        return true;
    }
    // The bar makes its items' views when it lays out: do the pending
    // layout before giving up on the item.
    if (auto* application = ui::Application::shared())
        application->layoutPendingViews();
    auto view = item.view();
    if (!view || !view->window()) {
        core::log("Warning, a popover cannot show from {}: the item is on no bar on screen", item.description());
        return false;
    }
    popover.presentFromBarButtonItem(item, directions, animated);
    popover.setPassthroughViews({});
    return true;
}

gfx::Rect centeredPopoverAnchor(const ui::PopoverController& popover, const ui::View& view)
{
    gfx::Rect bounds = view.bounds();
    const auto& content = popover.contentViewController();
    float contentHeight = content ? content->contentSizeForViewInPopover().height : 0;
    return { std::floor(bounds.width() * 0.5f - AnchorSide),
        std::floor((bounds.height() - contentHeight - AnchorSide) * 0.3f), AnchorSide, AnchorSide };
}

bool presentPopoverCenteredInView(ui::PopoverController& popover, const ui::View& view, unsigned directions,
    bool animated)
{
    if (!view.window()) {
        core::log("Warning, a popover cannot show in {}: it is in no window", view.description());
        return false;
    }
    popover.presentFromRect(centeredPopoverAnchor(popover, view), view, directions, animated);
    return true;
}

bool vk_systemCancelled(const ui::PopoverController& popover)
{
    return std::any_of(systemCancelled.begin(), systemCancelled.end(),
        [&](const auto& weak) { return weak.lock().get() == &popover; });
}

void setVk_systemCancelled(ui::PopoverController& popover, bool cancelled)
{
    std::erase_if(systemCancelled, [&](const auto& weak) {
        auto entry = weak.lock();
        return !entry || entry.get() == &popover;
    });
    if (cancelled)
        systemCancelled.push_back(popover.weak_from_this());
}
