#include "Platform/UI/Testing/DriverChoices.h"

#include "Platform/Core/Exception.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/DimmingView.h"
#include "Platform/UI/DocumentInteractionController.h"
#include "Platform/UI/PopoverController.h"
#include "Platform/UI/Testing/DriverSteps.h"
#include "Platform/UI/Testing/DriverTouches.h"
#include "Platform/UI/ViewTreeDump.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <fmt/format.h>

namespace ui::testing {

DriverChoices::DriverChoices(DriverTouches& touches)
    : m_touches(touches)
{
}

std::vector<std::shared_ptr<ChoiceView>> DriverChoices::shownChoices() const
{
    std::vector<std::shared_ptr<ChoiceView>> shown;
    for (auto& window : Window::windowsFrontToBack()) {
        if (window->isHidden())
            continue;
        auto& subviews = window->subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
            if (auto choice = std::dynamic_pointer_cast<ChoiceView>(*it); choice && choice->isVisible())
                shown.push_back(choice);
    }
    return shown;
}

std::string DriverChoices::shownChoicesText() const
{
    std::string text;
    for (auto& choice : shownChoices()) {
        text += "\n  " + ViewTreeDump::line(*choice) + ":";
        for (int i = 0; i < choice->numberOfButtons(); ++i)
            text += fmt::format(" [{}] \"{}\"", i, choice->buttonTitle(i));
    }
    return text.empty() ? "\n  nothing is shown" : text;
}

std::shared_ptr<AlertView> DriverChoices::alert() const
{
    for (auto& choice : shownChoices())
        if (auto alert = std::dynamic_pointer_cast<AlertView>(choice))
            return alert;
    throw core::Exception(DriverFailure, "no alert is shown; shown:" + shownChoicesText());
}

std::shared_ptr<ActionSheet> DriverChoices::actionSheet() const
{
    for (auto& choice : shownChoices())
        if (auto sheet = std::dynamic_pointer_cast<ActionSheet>(choice))
            return sheet;
    throw core::Exception(DriverFailure, "no action sheet is shown; shown:" + shownChoicesText());
}

int DriverChoices::indexOfTitle(const ChoiceView& choice, std::string_view title) const
{
    for (int i = 0; i < choice.numberOfButtons(); ++i)
        if (choice.buttonTitle(i) == title)
            return i;
    throw core::Exception(DriverFailure, fmt::format("no button \"{}\"; shown:{}", title, shownChoicesText()));
}

void DriverChoices::press(ChoiceView& choice, int index)
{
    Button* button = choice.button(index);
    if (!button || button->isHidden())
        throw core::Exception(DriverFailure, fmt::format("no button {} to press; shown:{}", index, shownChoicesText()));
    m_touches.tap(*button);
    settle();
}

void DriverChoices::pressAlertButton(int index)
{
    press(*alert(), index);
}

void DriverChoices::pressAlertButton(std::string_view title)
{
    auto shown = alert();
    press(*shown, indexOfTitle(*shown, title));
}

void DriverChoices::pressSheetButton(int index)
{
    press(*actionSheet(), index);
}

void DriverChoices::pressSheetButton(std::string_view title)
{
    auto shown = actionSheet();
    press(*shown, indexOfTitle(*shown, title));
}

void DriverChoices::tapOutsideSheet()
{
    auto sheet = actionSheet();
    Window* window = sheet->window();
    gfx::Rect frame = sheet->frame();
    gfx::Rect bounds = window->bounds();
    // The middle of the larger free band above or below the sheet.
    gfx::Point point = frame.minY() - bounds.minY() >= bounds.maxY() - frame.maxY()
        ? gfx::Point { bounds.midX(), (bounds.minY() + frame.minY()) / 2 }
        : gfx::Point { bounds.midX(), (frame.maxY() + bounds.maxY()) / 2 };
    m_touches.tap(window->layer().transformToSuperlayer().apply(point));
}

std::shared_ptr<DocumentInteractionController> DriverChoices::openInMenu() const
{
    auto menus = DocumentInteractionController::shownMenus();
    if (menus.empty())
        throw core::Exception(DriverFailure, "no open-in menu is shown");
    return menus.back();
}

void DriverChoices::chooseOpenInApplication(const std::string& application)
{
    auto menu = openInMenu();
    auto applications = menu->menuApplications();
    bool offered = std::find(applications.begin(), applications.end(), application) != applications.end();
    // Through the menu's sheet when it shows one, as a person picks.
    if (offered && menu->menuSheet() && menu->menuSheet()->isVisible()) {
        auto sheet = menu->menuSheet();
        press(*sheet, indexOfTitle(*sheet, application));
        return settle();
    }
    if (!menu->chooseApplication(application)) {
        std::string listed;
        for (auto& name : menu->menuApplications())
            listed += " \"" + name + "\"";
        throw core::Exception(DriverFailure,
            fmt::format("no \"{}\" on the open-in menu of {}; it lists:{}", application, menu->name(),
                listed.empty() ? " nothing" : listed));
    }
    settle();
}

std::shared_ptr<PopoverController> DriverChoices::popover() const
{
    auto shown = PopoverController::shownPopovers();
    if (shown.empty())
        throw core::Exception(DriverFailure, "no popover is shown");
    return shown.back();
}

void DriverChoices::tapOutsidePopover()
{
    auto shown = popover();
    View* container = shown->popoverView();
    Window* window = container->window();
    settle();
    drivenApplication().layoutPendingViews();
    gfx::Rect bounds = window->bounds();
    // The first of the corners and edge middles where a tap reaches the
    // popover's dimming view.
    for (float fy : { 0.02f, 0.5f, 0.98f })
        for (float fx : { 0.02f, 0.5f, 0.98f }) {
            gfx::Point point { bounds.minX() + bounds.width() * fx, bounds.minY() + bounds.height() * fy };
            View* hit = window->hitTest(point);
            if (dynamic_cast<DimmingView*>(hit) && hit->subviews().empty()) {
                auto& siblings = window->subviews();
                auto at = std::find_if(siblings.begin(), siblings.end(), [&](auto& v) { return v.get() == container; });
                if (at != siblings.begin() && at != siblings.end() && (at - 1)->get() == hit)
                    return m_touches.tap(window->layer().transformToSuperlayer().apply(point));
            }
        }
    failStep("cannot tap outside the popover: its window has no free place", { container });
}

} // namespace ui::testing
