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
class NavigationController;
}

// The application's passcode lock: put up over the window (the passcode
// page's own entry screen closed first), checking the entry against the
// stored passcode, and letting the user in, or a guest through the "Guest
// Access" button. What letting in leads to is the handler's, given at
// creation (the application delegate's, held weakly there).
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
    // attempt.
    void passcodeEnteredForController(VKPasscodeController& controller) override;
    // Lets a guest in while the lock is up.
    void guestButtonClicked();

private:
    explicit VKAppPasscodeLock(LetIn letIn);

    LetIn m_letIn;
    std::shared_ptr<VKRootPasscodeController> m_controller;
};
