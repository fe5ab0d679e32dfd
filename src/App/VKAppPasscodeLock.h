#pragma once

#include "Shell/VKPasscodeController.h"
#include "Platform/Core/Object.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class VKRootPasscodeController;
class VKWindow;

namespace ui {
class Label;
class NavigationController;
}

// The application's passcode lock: put up over the window (the passcode
// page's own entry screen closed first), checking the entry against the
// stored passcode, and letting the user in, or a guest through the "Guest
// Access" button. What letting in leads to is the handler's, given at
// creation (the application delegate's, held weakly there).
//
// A lock that was switched on fails closed: when the keychain can no longer
// give the passcode (damaged, the entry gone), the lock still goes up, says
// that the passcode could not be read and how to set it again, and no entry
// lets the owner in (a guest still may, where guest access is on). Only
// starting the program with --reset-passcode turns the lock off: whoever
// can do that can read the home's files anyway.
class VKAppPasscodeLock : public core::Object, public VKPasscodeControllerDelegate {
public:
    // Called once the right passcode (guest false) or the guest button
    // (guest true) let the user in; the lock is still up.
    using LetIn = std::function<void(bool guest)>;
    static std::shared_ptr<VKAppPasscodeLock> create(LetIn letIn);
    ~VKAppPasscodeLock() override;

    // The stored passcode: the keychain's password of VKPasscodeLockService
    // when it is exactly four ASCII digits, else none (no lock is ever put
    // up for it).
    static std::optional<std::string> keychainPasscode();
    // A passcode was set (the setting says so) but the keychain gives none.
    static bool isPasscodeLost();
    // Whether the lock goes up: a stored passcode, or a lost one.
    static bool isLockOn();
    // Turns the lock off for good: the keychain's passcode entries, the
    // setting that one was set and the count of wrong entries go.
    static void resetPasscode();

    bool isUp() const { return m_controller != nullptr; }
    const std::shared_ptr<VKRootPasscodeController>& controller() const { return m_controller; }

    // Closes open alerts and puts the lock up over the window (closing the
    // passcode page's entry screen over `navigation` first, and then without
    // animation); with `guestAccess` the entry screen offers "Guest
    // Access". On a lock already up only the guest button changes.
    void show(bool guestAccess, bool animated, const std::shared_ptr<VKWindow>& window,
        ui::NavigationController* navigation);
    // Takes the lock down; the status bar takes the style and orientation
    // of the top screen of `navigation`.
    void dismiss(bool animated, ui::NavigationController* navigation);

    // The right passcode lets the user in; a wrong one counts as a failed
    // attempt. With the passcode lost no entry lets in, and none counts.
    void passcodeEnteredForController(VKPasscodeController& controller) override;
    // Lets a guest in while the lock is up.
    void guestButtonClicked();

private:
    explicit VKAppPasscodeLock(LetIn letIn);

    // What the entry screen says while the passcode is lost.
    void showLostPasscode(VKPasscodeController& entry);

    LetIn m_letIn;
    std::shared_ptr<VKRootPasscodeController> m_controller;
    std::shared_ptr<ui::Label> m_lostNote;
};
