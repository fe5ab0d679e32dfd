#include "App/Settings/VKPasscodeSettingsController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Settings/VKButtonCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/VKKeychain.h"
#include "App/VKAppPasscodeLock.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <algorithm>

namespace {

std::string localizedPasscodeSetting(const char* text)
{
    return core::localized(text, "Settings");
}

std::string onOffTitle(bool enabled)
{
    return localizedPasscodeSetting(enabled ? "Turn Passcode Off" : "Turn Passcode On");
}

} // namespace

std::shared_ptr<VKPasscodeSettingsController> VKPasscodeSettingsController::passcodeSettingsController()
{
    auto page = std::make_shared<VKPasscodeSettingsController>();
    page->observeApplication();
    return page;
}

VKPasscodeSettingsController::VKPasscodeSettingsController() : VKTableSubviewController(ui::TableView::Style::Grouped)
{
    setTitle(localizedPasscodeSetting("Passcode Lock"));
}

VKPasscodeSettingsController::~VKPasscodeSettingsController()
{
    if (m_passcodeController)
        m_passcodeController->setDelegate({});
}

void VKPasscodeSettingsController::observeApplication()
{
    std::weak_ptr<core::Object> weak = weak_from_this();
    m_willResignActive = core::NotificationCenter::defaultCenter().observe(ui::Application::willResignActiveNotification,
        nullptr, [weak](const auto&) {
            if (auto self = std::static_pointer_cast<VKPasscodeSettingsController>(weak.lock()))
                self->applicationWillResignActive();
        });
}

bool VKPasscodeSettingsController::passcodeEnabled()
{
    // A lost passcode is still on: nothing here turns it off or replaces it
    // without the passcode.
    return VKAppPasscodeLock::isLockOn();
}

std::string VKPasscodeSettingsController::statusText()
{
    return localizedPasscodeSetting(passcodeEnabled() ? "On" : "Off");
}

ui::NavigationController* VKPasscodeSettingsController::parentNavigator() const
{
    return dynamic_cast<ui::NavigationController*>(m_parentNavigator.lock().get());
}

void VKPasscodeSettingsController::presentUsingNavigationController(ui::NavigationController& navigation, bool animated)
{
    m_parentNavigator = navigation.weak_from_this();
    if (passcodeEnabled()) {
        m_currentEntryState = ConfirmBeforeOpening;
        presentPasscodeControllerWithTitle(localizedPasscodeSetting("Passcode Lock"), localizedPasscodeSetting("Enter your passcode"));
        return;
    }
    navigation.pushViewController(sharedAs<ui::ViewController>(), animated);
}

void VKPasscodeSettingsController::loadTableGroups()
{
    std::weak_ptr<core::Object> weak = weak_from_this();
    auto self = [weak] { return std::static_pointer_cast<VKPasscodeSettingsController>(weak.lock()); };
    auto onOff = VKButtonCell::initWithLabel(onOffTitle(passcodeEnabled()), shared_from_this(),
        "turnPasscodeOnOffButtonPressed", [self](VKButtonCell&) {
            if (auto page = self())
                page->turnPasscodeOnOffButtonPressed();
        });
    auto change = VKButtonCell::initWithLabel(localizedPasscodeSetting("Change Passcode"), shared_from_this(),
        "changePasscodeButtonPressed", [self](VKButtonCell&) {
            if (auto page = self())
                page->changePasscodeButtonPressed();
        });
    setTableGroups({
        { onOff },
        { change },
        { VKSwitchCell::initWithLabel(localizedPasscodeSetting("Lock On Wake"), "VKPasscodeLockUponWake") },
        { VKSwitchCell::initWithLabel(localizedPasscodeSetting("Local Guest Access"), "VKLocalGuestAccess"),
            VKSwitchCell::initWithLabel(localizedPasscodeSetting("Guest Actions"), "VKLocalGuestActionsEnabled") },
    });
    setFooterText(localizedPasscodeSetting("Enable Guest Actions to allow access to the document action menu in guest mode."));
}

void VKPasscodeSettingsController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path)
{
    bool enabled = passcodeEnabled();
    if (path.section == 0) {
        if (auto* button = dynamic_cast<VKButtonCell*>(&cell))
            button->label().setText(onOffTitle(enabled));
        return;
    }
    if (auto* control = dynamic_cast<VKControlCell*>(&cell))
        control->setEnabled(enabled);
}

bool VKPasscodeSettingsController::canSelectRow(ui::TableView&, ui::IndexPath path)
{
    auto* control = dynamic_cast<VKControlCell*>(cellAt(path));
    return !control || control->isEnabled();
}

std::optional<ui::IndexPath> VKPasscodeSettingsController::willSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (!canSelectRow(table, path))
        return std::nullopt;
    return path;
}

void VKPasscodeSettingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto keep = shared_from_this();
    if (auto* button = dynamic_cast<VKButtonCell*>(cellAt(path)))
        button->buttonPushed();
    table.deselectRow(path, true);
}

void VKPasscodeSettingsController::turnPasscodeOnOffButtonPressed()
{
    if (passcodeEnabled()) {
        m_currentEntryState = TurnOffPasscode;
        presentPasscodeControllerWithTitle(localizedPasscodeSetting("Turn Passcode Off"), localizedPasscodeSetting("Enter your passcode"));
    } else {
        m_currentEntryState = SetFirstEntry;
        presentPasscodeControllerWithTitle(localizedPasscodeSetting("Set Passcode"), localizedPasscodeSetting("Enter a passcode"));
    }
}

void VKPasscodeSettingsController::changePasscodeButtonPressed()
{
    m_currentEntryState = ChangeOldPasscode;
    presentPasscodeControllerWithTitle(localizedPasscodeSetting("Change Passcode"), localizedPasscodeSetting("Enter your old passcode"));
}

std::shared_ptr<VKPasscodeController> VKPasscodeSettingsController::passcodeController()
{
    if (!m_passcodeController) {
        auto* application = ui::Application::shared();
        m_passcodeController = VKPasscodeController::passcodeControllerForInterfaceOrientation(
            application ? application->statusBarOrientation() : ui::Orientation::Portrait);
        m_passcodeController->setDelegate(
            std::static_pointer_cast<VKPasscodeControllerDelegate>(sharedAs<VKPasscodeSettingsController>()));
        std::weak_ptr<core::Object> weak = weak_from_this();
        m_passcodeController->navigationItem().setRightBarButtonItem(barButtonItemWithTitle(core::localized("Cancel"),
            ui::BarButtonItem::Style::Plain, shared_from_this(), "endPasscodeEntry", [weak](ui::BarButtonItem&) {
                if (auto self = std::static_pointer_cast<VKPasscodeSettingsController>(weak.lock()))
                    self->endPasscodeEntry();
            }));
    }
    return m_passcodeController;
}

const std::shared_ptr<ui::NavigationController>& VKPasscodeSettingsController::passcodeNavigationController()
{
    if (!m_passcodeNavigator)
        m_passcodeNavigator = ui::NavigationController::create(passcodeController());
    return m_passcodeNavigator;
}

void VKPasscodeSettingsController::presentPasscodeControllerWithTitle(const std::string& title, const std::string& infoText)
{
    auto entry = passcodeController();
    entry->setTitle(title);
    entry->setInfoText(infoText);
    auto& navigation = passcodeNavigationController();
    if (navigation->presentingViewController())
        return;
    ui::ViewController* presenter = navigationController();
    if (!presenter)
        presenter = parentNavigator();
    if (!presenter) {
        core::log("Warning, no screen to ask for the passcode over");
        return;
    }
    if (presenter->isViewLoaded() && presenter->view()->window()) {
        presenter->presentModalViewController(navigation, true);
        return;
    }
    // Opened before the settings are on screen (the delegate opens this
    // page directly and then presents them): ask once they show.
    std::weak_ptr<core::Object> weak = weak_from_this();
    std::weak_ptr<core::Object> weakPresenter = presenter->weak_from_this();
    core::RunLoop::main().performAfter(0, [weak, weakPresenter] {
        auto self = std::static_pointer_cast<VKPasscodeSettingsController>(weak.lock());
        auto presenter = std::dynamic_pointer_cast<ui::ViewController>(weakPresenter.lock());
        if (!self || !presenter || !presenter->isViewLoaded() || !presenter->view()->window())
            return;
        auto& navigation = self->passcodeNavigationController();
        if (!navigation->presentingViewController() && !presenter->modalViewController())
            presenter->presentModalViewController(navigation, true);
    });
}

void VKPasscodeSettingsController::endPasscodeEntryAnimated(bool animated)
{
    auto keep = shared_from_this();
    m_currentEntryPasscode.clear();
    if (isViewLoaded())
        tableView().reloadData();
    if (m_passcodeNavigator && m_passcodeNavigator->presentingViewController())
        m_passcodeNavigator->dismissModalViewController(animated);
}

void VKPasscodeSettingsController::applicationWillResignActive()
{
    auto keep = shared_from_this();
    endPasscodeEntryAnimated(false);
    m_currentEntryState = ConfirmBeforeOpening;
    // Back to the page below this one; a stack this page is not on (it may
    // have been left already, or another page shows) stays as it is.
    auto* parent = parentNavigator();
    if (!parent)
        return;
    auto& stack = parent->viewControllers();
    auto found = std::find(stack.begin(), stack.end(), shared_from_this());
    if (found == stack.end() || found == stack.begin())
        return;
    parent->popToViewController(std::prev(found)->get(), false);
}

void VKPasscodeSettingsController::passcodeEnteredForController(VKPasscodeController& controller)
{
    auto keep = shared_from_this();
    auto keepEntry = controller.shared_from_this();
    std::string entered = controller.passcode();
    auto stored = VKAppPasscodeLock::keychainPasscode();
    bool matchesStored = stored && entered == *stored;
    auto keychain = VKKeychain::sharedKeychain();

    switch (m_currentEntryState) {
    case ConfirmBeforeOpening:
        if (!matchesStored) {
            controller.registerFailedAttempt();
            return;
        }
        controller.registerSuccess();
        if (auto* parent = parentNavigator())
            parent->pushViewController(sharedAs<ui::ViewController>(), false);
        endPasscodeEntryAnimated(true);
        return;
    case SetFirstEntry:
    case ChangeNewPasscode:
        m_currentEntryPasscode = entered;
        controller.animateToInfoText(localizedPasscodeSetting(
            m_currentEntryState == SetFirstEntry ? "Re-enter your passcode" : "Re-enter your new passcode"));
        m_currentEntryState = m_currentEntryState == SetFirstEntry ? SetConfirmation : ChangeConfirmation;
        return;
    case SetConfirmation:
    case ChangeConfirmation:
        if (entered != m_currentEntryPasscode) {
            controller.registerFailedConfirmation();
            return;
        }
        controller.registerSuccess();
        keychain->setPassword(m_currentEntryPasscode, VKPasscodeLockService, VKPasscodeLockService);
        endPasscodeEntryAnimated(true);
        return;
    case ChangeOldPasscode:
        if (!matchesStored) {
            controller.registerFailedAttempt();
            return;
        }
        controller.registerSuccess();
        controller.animateToInfoText(localizedPasscodeSetting("Enter your new passcode"));
        m_currentEntryState = ChangeNewPasscode;
        return;
    case TurnOffPasscode:
        if (!matchesStored) {
            controller.registerFailedAttempt();
            return;
        }
        keychain->removeAllPasswordsForService(VKPasscodeLockService);
        controller.registerSuccess();
        endPasscodeEntryAnimated(true);
        return;
    default:
        core::log("Warning, unhandled passcode state: {}", m_currentEntryState);
        return;
    }
}
