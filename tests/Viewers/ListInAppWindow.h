#pragma once

// The stack a viewer is pushed onto in the media tests: a list screen on a
// navigation controller with its toolbar, the root of a window of the
// program's own kind, made key over `frame`; and its removal.

#include "Shell/VKNavigationController.h"
#include "Shell/VKWindow.h"
#include "Platform/UI/TableViewController.h"

#include <memory>
#include <string>

namespace test {

inline void showListInAppWindow(const std::string& title, const gfx::Rect& frame,
    std::shared_ptr<VKNavigationController>& navigation, std::shared_ptr<VKWindow>& window)
{
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle(title);
    navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window = VKWindow::create(frame);
    window->makeKeyAndVisible();
    window->setRootViewController(navigation);
}

inline void closeListInAppWindow(std::shared_ptr<VKNavigationController>& navigation, std::shared_ptr<VKWindow>& window)
{
    window->setRootViewController(nullptr);
    window.reset();
    navigation.reset();
}

} // namespace test
