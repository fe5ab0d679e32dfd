#pragma once

// The "Passcode Lock" page of the settings: turns the four-digit passcode
// on and off and changes it, each through the passcode entry screen
// presented over the settings, and holds the switches for locking on wake,
// local guest access and what a guest may do. With a passcode the page
// asks for it before it opens. Without one every row but the first is grey
// and does nothing.
//
// An entry runs through numbered states (the first entry of a new passcode
// is kept until its confirmation): 0 the passcode before the page opens,
// 1 and 2 a new passcode and its confirmation, 3 to 5 the old passcode, a
// new one and its confirmation, 6 the passcode before it is turned off.
// Leaving the application ends the entry and closes the page, so that it
// never stays open behind the lock.

#include "Shell/Settings/VKTableSubviewController.h"
#include "Shell/VKPasscodeController.h"
#include "Platform/Core/Observation.h"

#include <memory>
#include <string>

namespace ui {
class NavigationController;
}

class VKPasscodeSettingsController : public VKTableSubviewController, public VKPasscodeControllerDelegate {
public:
    enum EntryState {
        ConfirmBeforeOpening = 0,
        SetFirstEntry = 1,
        SetConfirmation = 2,
        ChangeOldPasscode = 3,
        ChangeNewPasscode = 4,
        ChangeConfirmation = 5,
        TurnOffPasscode = 6,
    };

    static std::shared_ptr<VKPasscodeSettingsController> passcodeSettingsController();
    VKPasscodeSettingsController();
    ~VKPasscodeSettingsController() override;

    // A passcode is stored (one the lock recognises).
    static bool passcodeEnabled();
    // "On" or "Off".
    std::string statusText() override;
    // Remembers `navigation`; with a passcode asks for it first and is
    // pushed (unanimated) only after the right one, else is pushed now.
    void presentUsingNavigationController(ui::NavigationController& navigation, bool animated) override;

    void loadTableGroups() override;
    // The first row says what it will do; the others work only with a
    // passcode.
    void willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path) override;
    std::optional<ui::IndexPath> willSelectRow(ui::TableView&, ui::IndexPath path) override;
    // Not a greyed-out row.
    bool canSelectRow(ui::TableView&, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    void turnPasscodeOnOffButtonPressed();
    void changePasscodeButtonPressed();
    // Titles the entry screen and presents it, animated: from this page
    // while it is on a navigation stack, else from the one it was opened on.
    void presentPasscodeControllerWithTitle(const std::string& title, const std::string& infoText);
    // Made on first use, in the interface's orientation, with "Cancel".
    std::shared_ptr<VKPasscodeController> passcodeController();
    const std::shared_ptr<ui::NavigationController>& passcodeNavigationController();
    // Forgets the first entry, shows the rows as they now stand and closes
    // the entry screen.
    void endPasscodeEntry() { endPasscodeEntryAnimated(true); }
    void endPasscodeEntryAnimated(bool animated);
    // Ends the entry at once and closes the page when it is open.
    void applicationWillResignActive();

    void passcodeEnteredForController(VKPasscodeController& controller) override;

    int currentEntryState() const { return m_currentEntryState; }
    void setCurrentEntryState(int state) { m_currentEntryState = state; }
    const std::string& currentEntryPasscode() const { return m_currentEntryPasscode; }
    ui::NavigationController* parentNavigator() const;

private:
    void observeApplication();

    std::shared_ptr<VKPasscodeController> m_passcodeController;
    std::shared_ptr<ui::NavigationController> m_passcodeNavigator;
    std::weak_ptr<core::Object> m_parentNavigator;
    int m_currentEntryState = ConfirmBeforeOpening;
    std::string m_currentEntryPasscode;
    core::Observation m_willResignActive;
};
