#include "Platform/UI/Testing/DriverBars.h"

#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/BarItemButton.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTouches.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace ui::testing {

DriverBars::DriverBars(DriverTouches& touches)
    : m_touches(touches)
{
}

void DriverBars::tapBarItem(const BarButtonItem& item)
{
    settle();
    auto view = item.view();
    if (!view || !view->window())
        failStep(fmt::format("no bar shows {}", item.description()), {});
    m_touches.tap(*view);
}

void DriverBars::tapBarItem(std::string_view action)
{
    settle();
    for (auto& window : Window::windowsFrontToBack()) {
        std::vector<std::shared_ptr<BarButtonItem>> shown;
        for (auto& bar : window->findViews<NavigationBar>()) {
            if (bar->isHidden() || !bar->topItem())
                continue;
            for (auto& item : { bar->topItem()->leftBarButtonItem(), bar->topItem()->rightBarButtonItem() })
                if (item)
                    shown.push_back(item);
        }
        for (auto& toolbar : window->findViews<Toolbar>())
            if (!toolbar->isHidden())
                shown.insert(shown.end(), toolbar->items().begin(), toolbar->items().end());
        for (auto& item : shown)
            if (item->hasAction(action) && item->view())
                return tapBarItem(*item);
    }
    failStep(fmt::format("no bar item shown with the action \"{}\"", action), {});
}

void DriverBars::tapBack()
{
    settle();
    for (auto& window : Window::windowsFrontToBack())
        for (auto& bar : window->findViews<NavigationBar>()) {
            auto* back = dynamic_cast<BarItemButton*>(bar->leftButtonView());
            if (!bar->isHidden() && back && back->isBackButton())
                return m_touches.tap(*back);
        }
    failStep("no navigation bar shows a back button", {});
}

std::vector<std::string> DriverBars::stackTitles(const NavigationController& navigation)
{
    std::vector<std::string> titles;
    for (auto& controller : navigation.viewControllers())
        titles.push_back(controller->title());
    return titles;
}

std::vector<ViewController*> DriverBars::modalChain(const ViewController& controller)
{
    std::vector<ViewController*> chain;
    for (ViewController* c = controller.modalViewController(); c; c = c->modalViewController())
        chain.push_back(c);
    return chain;
}

} // namespace ui::testing
