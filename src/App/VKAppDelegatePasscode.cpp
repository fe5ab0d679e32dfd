// The application delegate's part in the passcode lock: putting it up over
// the window, and what the right passcode or the guest button lead to.

#include "App/VKAppDelegate.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "Kit/CSRegex.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/NavigationItem.h"

std::optional<std::string> VKAppDelegate::keychainPasscode()
{
    auto passcode = VKKeychain::sharedKeychain()->passwordForUser(VKPasscodeLockService, VKPasscodeLockService);
    if (!passcode || passcode->size() != size_t(VKPasscodeController::PasscodeLength)
        || !matchedByPattern(*passcode, "^[0-9]{4}$"))
        return std::nullopt;
    return passcode;
}

ui::ViewController* VKAppDelegate::rootPasscodeController() const
{
    return m_rootPasscodeController.get();
}

void VKAppDelegate::showPasscodeControllerWithGuestAccess(bool guestAccess, bool animated)
{
    VKApplication::sharedApplication()->vk_dismissActiveAlertView();
    if (!m_rootPasscodeController) {
        // The passcode page asking for the passcode goes first, and the
        // lock comes at once, so nothing shows between the two.
        auto* visible = navigationController() ? navigationController()->visibleViewController() : nullptr;
        if (auto* entry = dynamic_cast<VKPasscodeController*>(visible); entry && entry->presentingViewController()) {
            entry->dismissModalViewController(false);
            animated = false;
        } else if (entry && entry->navigationController() && entry->navigationController()->presentingViewController()) {
            entry->navigationController()->dismissModalViewController(false);
            animated = false;
        }
        auto lock = VKRootPasscodeController::create();
        lock->passcodeController()->setDelegate(
            std::static_pointer_cast<VKPasscodeControllerDelegate>(sharedAs<VKAppDelegate>()));
        m_rootPasscodeController = lock;
        if (m_window) {
            m_window->makeKeyAndVisible();
            lock->presentInWindow(m_window, animated);
        }
    }
    auto& item = m_rootPasscodeController->passcodeController()->navigationItem();
    if (guestAccess) {
        std::weak_ptr<core::Object> weak = weak_from_this();
        item.setRightBarButtonItem(barButtonItemWithTitle(core::localized("Guest Access"), ui::BarButtonItem::Style::Done,
            shared_from_this(), "guestButtonClicked", [weak](ui::BarButtonItem&) {
                if (auto self = std::static_pointer_cast<VKAppDelegate>(weak.lock()))
                    self->guestButtonClicked();
            }));
    } else {
        item.setRightBarButtonItem(nullptr);
    }
}

void VKAppDelegate::passcodeEnteredForController(VKPasscodeController& controller)
{
    auto stored = keychainPasscode();
    if (!stored || controller.passcode() != *stored) {
        controller.registerFailedAttempt();
        return;
    }
    auto keep = controller.shared_from_this();
    m_guestMode = false;
    controller.registerSuccess();
    continueAfterPasscode();
}

void VKAppDelegate::guestButtonClicked()
{
    if (!m_rootPasscodeController)
        return;
    m_guestMode = true;
    continueAfterPasscode();
}

void VKAppDelegate::continueAfterPasscode()
{
    auto keep = shared_from_this();
    // No server yet: the lock came up at launch, whose pass takes it down.
    if (!httpServer()) {
        continueApplicationDidFinishLaunching();
        return;
    }
    continueApplicationDidActivate();
    dismissPasscodeControllerAnimated(true);
}

void VKAppDelegate::dismissPasscodeControllerAnimated(bool animated)
{
    auto lock = std::move(m_rootPasscodeController);
    if (!lock)
        return;
    lock->dismissPasscodeControllerAnimated(animated);
    auto* application = ui::Application::shared();
    auto* top = navigationController() ? navigationController()->topViewController() : nullptr;
    if (application && top) {
        application->setStatusBarStyle(top->statusBarStyle(), animated);
        application->setStatusBarOrientation(top->interfaceOrientation(), false);
    }
}
