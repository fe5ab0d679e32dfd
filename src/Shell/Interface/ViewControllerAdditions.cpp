#include "Shell/Interface/ViewControllerAdditions.h"

#include "Shell/Interface/ViewAdditions.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/NavigationController.h"
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

void showActionSheet(ui::ViewController& controller, ui::ActionSheet& sheet, const std::shared_ptr<core::Object>&)
{
    dismissActiveActionSheet(controller);
    const auto& view = controller.view();
    if (!view->window()) {
        core::log("Warning, {} cannot show an action sheet: its view is in no window", controller.description());
        return;
    }
    setTag(sheet, controller);
    if (ui::Toolbar* toolbar = shownToolbar(controller))
        sheet.showFromToolbar(*toolbar);
    else
        sheet.showInView(*view);
}
