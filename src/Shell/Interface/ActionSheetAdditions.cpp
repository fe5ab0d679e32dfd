#include "Shell/Interface/ActionSheetAdditions.h"

#include "Platform/Core/Log.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Toolbar.h"

bool showFromItem(ui::ActionSheet& sheet, const std::shared_ptr<core::Object>& item)
{
    auto* view = dynamic_cast<ui::View*>(item.get());
    if (!view)
        return false;
    if (!view->window()) {
        core::log("Warning, an action sheet cannot show from {}: it is in no window", view->description());
        return false;
    }
    if (auto* toolbar = dynamic_cast<ui::Toolbar*>(view))
        sheet.showFromToolbar(*toolbar);
    else if (auto* tabBar = dynamic_cast<ui::TabBar*>(view))
        sheet.showFromTabBar(*tabBar);
    else
        sheet.showInView(*view);
    return true;
}
