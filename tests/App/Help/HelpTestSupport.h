#pragma once

#include "App/Help/VKHelpController.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ViewController.h"

#include <memory>

namespace test {

// The help presented over `base` as the delegate presents it: a form sheet
// in a navigation controller of its own, unanimated.
inline std::shared_ptr<ui::NavigationController> presentHelp(ui::ViewController& base,
    const std::shared_ptr<VKHelpController>& help)
{
    auto navigation = ui::NavigationController::create(help);
    navigation->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    base.presentModalViewController(navigation, false);
    return navigation;
}

} // namespace test
