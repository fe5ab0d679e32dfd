#pragma once

// The test driver's steps on what pops up over a screen: alerts and action
// sheets found by walking the windows (failing, listing what is shown, when
// the one asked for is not) and presses on their buttons through taps; the
// open-in menu and a pick on it; popovers and a tap outside them, away from
// their pass-through views.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class ActionSheet;
class AlertView;
class ChoiceView;
class DocumentInteractionController;
class PopoverController;
} // namespace ui

namespace ui::testing {

class DriverTouches;

class DriverChoices {
public:
    explicit DriverChoices(DriverTouches& touches);
    DriverChoices(const DriverChoices&) = delete;
    DriverChoices& operator=(const DriverChoices&) = delete;

    // The front shown alert or action sheet, and a press on one of its
    // buttons by index or title.
    std::shared_ptr<AlertView> alert() const;
    std::shared_ptr<ActionSheet> actionSheet() const;
    std::vector<std::shared_ptr<ChoiceView>> shownChoices() const;
    void pressAlertButton(int index);
    void pressAlertButton(std::string_view title);
    void pressSheetButton(int index);
    void pressSheetButton(std::string_view title);
    // A tap in the sheet's window away from the sheet.
    void tapOutsideSheet();

    // The front open-in menu (failing when none shows) and a pick on it.
    std::shared_ptr<DocumentInteractionController> openInMenu() const;
    void chooseOpenInApplication(const std::string& application);

    // The front shown popover (failing when none shows) and a tap outside
    // it, away from its pass-through views.
    std::shared_ptr<PopoverController> popover() const;
    void tapOutsidePopover();

private:
    void press(ChoiceView& choice, int index);
    int indexOfTitle(const ChoiceView& choice, std::string_view title) const;
    std::string shownChoicesText() const;

    DriverTouches& m_touches;
};

} // namespace ui::testing
