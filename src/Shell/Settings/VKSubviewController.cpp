#include "Shell/Settings/VKSubviewController.h"

#include "Platform/UI/NavigationController.h"

VKSubviewController::VKSubviewController(ui::TableView::Style style) : VKNonRotatingTableViewController(style) { }

std::string VKSubviewController::statusText()
{
    return "Please override";
}

void VKSubviewController::presentUsingNavigationController(ui::NavigationController& navigation, bool animated)
{
    navigation.pushViewController(sharedAs<ui::ViewController>(), animated);
}
