#include "Shell/Interface/DocumentInteractionAdditions.h"

#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/View.h"

bool presentOpenInFromBarButtonItemRect(ui::DocumentInteractionController& controller, const ui::BarButtonItem& item,
    bool animated)
{
    if (auto* application = ui::Application::shared())
        application->layoutPendingViews();
    auto view = item.view();
    if (!view) {
        core::log("Warning, the open-in menu cannot show from {}: no bar shows the item", item.description());
        return false;
    }
    return controller.presentOpenInMenu(view->bounds(), *view, animated);
}
