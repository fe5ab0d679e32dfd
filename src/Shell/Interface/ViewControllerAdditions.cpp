#include "Shell/Interface/ViewControllerAdditions.h"

#include "Shell/Interface/ViewAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Control.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <vector>

namespace {

// Which controller showed which sheet. Both sides are weak; entries whose
// sheet is gone are dropped whenever the list changes, so it never holds
// more than the sheets alive.
struct SheetTag {
    std::weak_ptr<core::Object> sheet;
    std::weak_ptr<core::Object> controller;
};
std::vector<SheetTag> sheetTags;

void setTag(ui::ActionSheet& sheet, ui::ViewController& controller)
{
    std::erase_if(sheetTags, [&](const SheetTag& tag) {
        auto tagged = tag.sheet.lock();
        return !tagged || tagged.get() == &sheet;
    });
    sheetTags.push_back({ sheet.weak_from_this(), controller.weak_from_this() });
}

// The toolbar of the controller's navigation controller, while it shows.
ui::Toolbar* shownToolbar(ui::ViewController& controller)
{
    ui::NavigationController* navigation = controller.navigationController();
    if (!navigation || navigation->isToolbarHidden())
        return nullptr;
    ui::Toolbar& toolbar = navigation->toolbar();
    return toolbar.window() && !toolbar.isHidden() ? &toolbar : nullptr;
}

} // namespace

std::shared_ptr<ui::ViewController> vk_viewControllerTag(const ui::ActionSheet& sheet)
{
    for (const auto& tag : sheetTags)
        if (auto tagged = tag.sheet.lock(); tagged.get() == &sheet)
            return std::static_pointer_cast<ui::ViewController>(tag.controller.lock());
    return nullptr;
}

void dismissActiveActionSheet(ui::ViewController& controller)
{
    if (!controller.isViewLoaded())
        return;
    ui::Window* window = controller.view()->window();
    if (!window)
        return;
    for (const auto& sheet : vkFindViewsWithClass<ui::ActionSheet>(*window))
        if (sheet->isVisible() && vk_viewControllerTag(*sheet).get() == &controller)
            sheet->dismiss(sheet->cancelButtonIndex(), false);
}

void showActionSheet(ui::ViewController& controller, ui::ActionSheet& sheet, const std::shared_ptr<core::Object>& item)
{
    dismissActiveActionSheet(controller);
    const auto& view = controller.view();
    if (!view->window()) {
        core::log("Warning, {} cannot show an action sheet: its view is in no window", controller.description());
        return;
    }
    setTag(sheet, controller);
    // On a tablet, at the bar item or control that was tapped; a phone's
    // sheet rises from the bottom wherever it was asked.
    auto* barItem = dynamic_cast<ui::BarButtonItem*>(item.get());
    ui::View* itemView = barItem ? barItem->view().get() : dynamic_cast<ui::Control*>(item.get());
    bool tablet = ui::Screen::userInterfaceIdiom() == core::Device::Idiom::Tablet;
    if (tablet && itemView && itemView->window() == view->window() && !itemView->isHidden()) {
        sheet.showFromRect(itemView->bounds(), *itemView, true);
        return;
    }
    if (ui::Toolbar* toolbar = shownToolbar(controller))
        sheet.showFromToolbar(*toolbar);
    else
        sheet.showInView(*view);
}
