#pragma once

// The browser's navigation controller (and the base of the folder picker):
// the toolkit's navigation controller with a VKNavigationBar as its bar. It
// puts up its top controller's status-bar style whenever the top changes
// while it shows, and when the stack appears.

#include "Platform/UI/NavigationController.h"

#include <memory>

class VKNavigationController : public ui::NavigationController {
public:
    static std::shared_ptr<VKNavigationController> create(const std::shared_ptr<ui::ViewController>& root = nullptr);
    VKNavigationController();

    void viewWillAppear(bool animated) override;

protected:
    void topViewControllerDidChange(bool animated) override;

private:
    void applyStatusBarStyle(bool animated);
};
