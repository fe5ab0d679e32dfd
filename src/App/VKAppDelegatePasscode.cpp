// The application delegate's part in the passcode lock: the lock over its
// window and stack, and where letting the user in leads.

#include "App/VKAppDelegate.h"

#include "Shell/VKNavigationController.h"
#include "Shell/VKRootPasscodeController.h"

ui::ViewController* VKAppDelegate::rootPasscodeController() const
{
    return m_passcodeLock->controller().get();
}

void VKAppDelegate::showPasscodeControllerWithGuestAccess(bool guestAccess, bool animated)
{
    m_passcodeLock->show(guestAccess, animated, m_window, navigationController().get());
}

void VKAppDelegate::dismissPasscodeControllerAnimated(bool animated)
{
    m_passcodeLock->dismiss(animated, navigationController().get());
}

void VKAppDelegate::passcodeLetIn(bool guest)
{
    auto keep = shared_from_this();
    m_guestMode = guest;
    // No server yet: the lock came up at launch, whose pass takes it down.
    if (!httpServer()) {
        continueApplicationDidFinishLaunching();
        return;
    }
    continueApplicationDidActivate();
    dismissPasscodeControllerAnimated(true);
    m_handOvers.openPending();
}
