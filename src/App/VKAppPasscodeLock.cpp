#include "App/VKAppPasscodeLock.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "Kit/CSRegex.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"

std::shared_ptr<VKAppPasscodeLock> VKAppPasscodeLock::create(LetIn letIn)
{
    return std::shared_ptr<VKAppPasscodeLock>(new VKAppPasscodeLock(std::move(letIn)));
}

VKAppPasscodeLock::VKAppPasscodeLock(LetIn letIn)
    : m_letIn(std::move(letIn))
{
}

VKAppPasscodeLock::~VKAppPasscodeLock() = default;

std::optional<std::string> VKAppPasscodeLock::keychainPasscode()
{
    auto passcode = VKKeychain::sharedKeychain()->passwordForUser(VKPasscodeLockService, VKPasscodeLockService);
    if (!passcode || passcode->size() != size_t(VKPasscodeController::PasscodeLength)
        || !matchedByPattern(*passcode, "^[0-9]{4}$"))
        return std::nullopt;
    return passcode;
}

bool VKAppPasscodeLock::isPasscodeLost()
{
    return VKKeychain::wasPasscodeSet() && !keychainPasscode();
}

bool VKAppPasscodeLock::isLockOn()
{
    return keychainPasscode() || VKKeychain::wasPasscodeSet();
}

void VKAppPasscodeLock::resetPasscode()
{
    VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKPasscodeLockService);
    // A keychain too damaged for the removal gives no passcode either.
    auto defaults = core::UserDefaults::standard();
    defaults->set(VKPasscodeLockSetKey, core::Value(false));
    defaults->remove(VKFailedAttemptsKey);
    defaults->remove(VKDisabledUntilDateKey);
    core::log("The passcode lock was reset");
}

void VKAppPasscodeLock::showLostPasscode(VKPasscodeController& entry)
{
    entry.setInfoText(core::localized("The passcode could not be read"));
    auto& root = *entry.view();
    if (!m_lostNote) {
        const gfx::Rect below = entry.failureLabel().frame();
        m_lostNote = ui::Label::create({ 20, below.maxY() + 16, root.bounds().width() - 40, 110 });
        m_lostNote->setNumberOfLines(0);
        m_lostNote->setFont(ui::Fonts::systemFont(15));
        m_lostNote->setTextAlignment(gfx::TextAlignment::Center);
        m_lostNote->setBackgroundColor(ui::StandardColors::clear());
        m_lostNote->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleBottomMargin);
        m_lostNote->setText(core::localized("Your documents stay locked. To set the passcode again, quit Tandry, "
                                            "start it with --reset-passcode and choose Settings > Passcode Lock."));
    }
    if (m_lostNote->superview() != &root)
        root.addSubview(m_lostNote);
}

void VKAppPasscodeLock::show(bool guestAccess, bool animated, const std::shared_ptr<VKWindow>& window,
    ui::NavigationController* navigation)
{
    VKApplication::sharedApplication()->vk_dismissActiveAlertView();
    if (!m_controller) {
        // The passcode page asking for the passcode goes first, and the
        // lock comes at once, so nothing shows between the two.
        auto* visible = navigation ? navigation->visibleViewController() : nullptr;
        if (auto* entry = dynamic_cast<VKPasscodeController*>(visible); entry && entry->presentingViewController()) {
            entry->dismissModalViewController(false);
            animated = false;
        } else if (entry && entry->navigationController() && entry->navigationController()->presentingViewController()) {
            entry->navigationController()->dismissModalViewController(false);
            animated = false;
        }
        auto lock = VKRootPasscodeController::create();
        lock->passcodeController()->setDelegate(
            std::static_pointer_cast<VKPasscodeControllerDelegate>(sharedAs<VKAppPasscodeLock>()));
        m_controller = lock;
        if (window) {
            window->makeKeyAndVisible();
            lock->presentInWindow(window, animated);
        }
    }
    if (isPasscodeLost()) {
        core::log("Warning, the passcode lock is on but its passcode cannot be read: the lock stays up");
        showLostPasscode(*m_controller->passcodeController());
    }
    auto& item = m_controller->passcodeController()->navigationItem();
    if (guestAccess) {
        std::weak_ptr<core::Object> weak = weak_from_this();
        item.setRightBarButtonItem(barButtonItemWithTitle(core::localized("Guest Access"), ui::BarButtonItem::Style::Done,
            shared_from_this(), "guestButtonClicked", [weak](ui::BarButtonItem&) {
                if (auto self = std::static_pointer_cast<VKAppPasscodeLock>(weak.lock()))
                    self->guestButtonClicked();
            }));
    } else {
        item.setRightBarButtonItem(nullptr);
    }
}

void VKAppPasscodeLock::passcodeEnteredForController(VKPasscodeController& controller)
{
    auto stored = keychainPasscode();
    if (!stored && isPasscodeLost()) {
        // Nothing to guess: the entry goes without counting.
        controller.clearPasscode();
        return;
    }
    if (!stored || controller.passcode() != *stored) {
        controller.registerFailedAttempt();
        return;
    }
    auto keep = controller.shared_from_this();
    auto self = shared_from_this();
    controller.registerSuccess();
    if (m_letIn)
        m_letIn(false);
}

void VKAppPasscodeLock::guestButtonClicked()
{
    if (!m_controller)
        return;
    auto self = shared_from_this();
    if (m_letIn)
        m_letIn(true);
}

void VKAppPasscodeLock::dismiss(bool animated, ui::NavigationController* navigation)
{
    auto lock = std::move(m_controller);
    m_lostNote.reset();
    if (!lock)
        return;
    lock->dismissPasscodeControllerAnimated(animated);
    auto* application = ui::Application::shared();
    auto* top = navigation ? navigation->topViewController() : nullptr;
    if (application && top) {
        application->setStatusBarStyle(top->statusBarStyle(), animated);
        application->setStatusBarOrientation(top->interfaceOrientation(), false);
    }
}
