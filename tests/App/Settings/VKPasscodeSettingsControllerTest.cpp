// "Passcode Lock" in the settings, driven as a person would: setting,
// changing and turning off the passcode through the entry screen it
// presents, the rows that only work with a passcode, the question before
// the page opens, leaving the application while it is open, and the lock
// coming up over its entry screen. The keychain is the home's file store.

#include "SettingsTestCase.h"

#include "App/Settings/VKPasscodeSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKButtonCell.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTableFooterLabel.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKNavigationController.h"
#include "Shell/VKPasscodeController.h"
#include "Shell/VKRootPasscodeController.h"
#include "Shell/VKWindow.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"

namespace {

using Texts = std::vector<std::string>;

class VKPasscodeSettingsControllerTest : public test::SettingsTestCase {
protected:
    void SetUp() override
    {
        SettingsTestCase::SetUp();
        launch();
    }

    VKPasscodeSettingsController& page() const
    {
        return dynamic_cast<VKPasscodeSettingsController&>(*settings().pageForSlot(VKSettingsPage::Passcode));
    }
    VKPasscodeController& entry() const { return *page().passcodeController(); }
    // Whether the page's entry screen is up.
    bool entryShown() const
    {
        auto& navigation = page().passcodeNavigationController();
        return navigation->presentingViewController() && navigation->view()->window();
    }
    // Typed into the entry screen; the page hears it 0.1 s later.
    void enter(std::string_view passcode)
    {
        driver.type(passcode);
        advance(VKPasscodeController::EnteredDelay);
    }
    static void storePasscode(std::optional<std::string_view> passcode)
    {
        VKKeychain::sharedKeychain()->setPassword(passcode, VKPasscodeLockService, VKPasscodeLockService);
    }
    static std::optional<std::string> storedPasscode()
    {
        return VKKeychain::sharedKeychain()->passwordForUser(VKPasscodeLockService, VKPasscodeLockService);
    }
    std::string rootStatus() const { return dynamic_cast<VKSubviewCell&>(cell("Passcode Lock")).status().text(); }
    VKControlCell& row(const std::string& text) const { return dynamic_cast<VKControlCell&>(cell(text)); }
    Texts stack() const { return Texts(ui::testing::Driver::stackTitles(settingsNavigation())); }
    // The page open without a passcode.
    void openPage()
    {
        openSettings();
        tapRow("Passcode Lock");
        ASSERT_EQ(&topPage(), &page());
    }
};

TEST_F(VKPasscodeSettingsControllerTest, WithoutAPasscodeOnlyTheFirstRowWorks)
{
    openSettings();
    EXPECT_EQ(rootStatus(), "Off");
    tapRow("Passcode Lock");
    EXPECT_EQ(stack(), (Texts { "Settings", "Passcode Lock" }));
    EXPECT_FALSE(entryShown());
    EXPECT_TRUE(row("Turn Passcode On").isEnabled());
    auto& table = topTable();
    for (const char* text : { "Change Passcode", "Lock On Wake", "Local Guest Access", "Guest Actions" }) {
        auto& control = row(text);
        EXPECT_FALSE(control.isEnabled()) << text;
        EXPECT_EQ(control.label().textColor(), ui::StandardColors::gray()) << text;
        auto path = *table.indexPathForCell(control);
        EXPECT_FALSE(page().willSelectRow(table, path)) << text;
        driver.tapRow(table, path);
        advance(1);
        EXPECT_FALSE(entryShown()) << text;
        EXPECT_FALSE(table.indexPathForSelectedRow()) << text;
    }
    // The arrows rest on the one row that works.
    for (int i = 0; i < 3; ++i)
        driver.key(ui::KeyCommand::Down);
    EXPECT_EQ(table.indexPathForSelectedRow(), table.indexPathForCell(row("Turn Passcode On")));
    table.deselectRow(*table.indexPathForSelectedRow(), false);
    EXPECT_FALSE(toggle("Lock On Wake").switchControl().isEnabled());
    bool wake = core::UserDefaults::standard()->boolForKey("VKPasscodeLockUponWake");
    EXPECT_EQ(toggle("Lock On Wake").switchControl().isOn(), wake);

    // The note stands under the last section only.
    EXPECT_EQ(page().footerText(), "Enable Guest Actions to allow access to the document action menu in guest mode.");
    for (int section = 0; section < 3; ++section)
        EXPECT_EQ(page().heightForFooter(table, section), 0.0f);
    EXPECT_GT(*page().heightForFooter(table, 3), 20.0f);
    EXPECT_EQ(page().viewForFooter(table, 3).get(), page().footerLabel());
    EXPECT_EQ(page().navigationItem().rightBarButtonItem()->title(), "Done");
}

TEST_F(VKPasscodeSettingsControllerTest, SettingAPasscodeAsksForItTwice)
{
    openPage();
    tapRow("Turn Passcode On");
    ASSERT_TRUE(entryShown());
    EXPECT_EQ(entry().title(), "Set Passcode");
    EXPECT_EQ(entry().infoLabel().text(), "Enter a passcode");
    EXPECT_EQ(entry().navigationItem().rightBarButtonItem()->title(), "Cancel");
    EXPECT_EQ(entry().navigationItem().rightBarButtonItem()->style(), ui::BarButtonItem::Style::Plain);
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::SetFirstEntry);

    // Letters never make it into a passcode, typed or pasted.
    driver.type("1a");
    driver.paste("b2");
    EXPECT_EQ(entry().hiddenField().text(), "1");
    driver.paste("234");
    advance(VKPasscodeController::EnteredDelay);
    EXPECT_TRUE(entry().isAnimating());
    EXPECT_EQ(entry().infoLabel().text(), "Re-enter your passcode");
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::SetConfirmation);
    EXPECT_EQ(page().currentEntryPasscode(), "1234");
    advance(VKPasscodeController::SlideDuration);

    enter("5678");
    EXPECT_EQ(entry().failureLabel().text(), "Passcodes did not match. Try again.");
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::SetConfirmation);
    EXPECT_FALSE(storedPasscode());
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    advance(VKPasscodeController::ClearDelay);

    enter("1234");
    EXPECT_EQ(storedPasscode(), "1234");
    EXPECT_EQ(page().currentEntryPasscode(), "");
    // The rows follow at once.
    EXPECT_TRUE(row("Turn Passcode Off").isEnabled());
    for (const char* text : { "Change Passcode", "Lock On Wake", "Local Guest Access", "Guest Actions" })
        EXPECT_TRUE(row(text).isEnabled()) << text;
    advance(1);
    EXPECT_FALSE(entryShown());
    EXPECT_EQ(&topPage(), &page());
    tapBack();
    EXPECT_EQ(rootStatus(), "On");
}

TEST_F(VKPasscodeSettingsControllerTest, WithAPasscodeTheSwitchesWriteAtOnce)
{
    openPage();
    storePasscode("1234");
    tapBack();
    tapRow("Passcode Lock");
    enter("1234");
    advance(1);
    ASSERT_EQ(&topPage(), &page());
    auto defaults = core::UserDefaults::standard();
    for (const char* key : { "VKPasscodeLockUponWake", "VKLocalGuestAccess", "VKLocalGuestActionsEnabled" }) {
        const char* text = std::string(key) == "VKPasscodeLockUponWake" ? "Lock On Wake"
            : std::string(key) == "VKLocalGuestAccess"                   ? "Local Guest Access"
                                                                         : "Guest Actions";
        bool before = defaults->boolForKey(key);
        driver.toggle(toggle(text).switchControl());
        EXPECT_EQ(defaults->boolForKey(key), !before) << key;
        EXPECT_TRUE(defaults->object(key).isBool()) << key;
    }
}

TEST_F(VKPasscodeSettingsControllerTest, ChangingThePasscode)
{
    storePasscode("1234");
    openSettings();
    tapRow("Passcode Lock");
    enter("1234");
    advance(1);
    tapRow("Change Passcode");
    ASSERT_TRUE(entryShown());
    EXPECT_EQ(entry().title(), "Change Passcode");
    EXPECT_EQ(entry().infoLabel().text(), "Enter your old passcode");

    enter("4321");
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 1);
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::ChangeOldPasscode);
    advance(VKPasscodeController::ClearDelay);

    enter("1234");
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    EXPECT_EQ(entry().infoLabel().text(), "Enter your new passcode");
    advance(VKPasscodeController::SlideDuration);
    enter("9876");
    EXPECT_EQ(entry().infoLabel().text(), "Re-enter your new passcode");
    advance(VKPasscodeController::SlideDuration);
    enter("9875");
    EXPECT_EQ(entry().failureLabel().text(), "Passcodes did not match. Try again.");
    advance(VKPasscodeController::ClearDelay);
    EXPECT_EQ(storedPasscode(), "1234");
    enter("9876");
    EXPECT_EQ(storedPasscode(), "9876");
    advance(1);
    EXPECT_FALSE(entryShown());
}

TEST_F(VKPasscodeSettingsControllerTest, TurningThePasscodeOff)
{
    storePasscode("1234");
    openSettings();
    EXPECT_EQ(rootStatus(), "On");
    tapRow("Passcode Lock");
    enter("1234");
    advance(1);
    tapRow("Turn Passcode Off");
    EXPECT_EQ(entry().title(), "Turn Passcode Off");
    EXPECT_EQ(entry().infoLabel().text(), "Enter your passcode");
    enter("0000");
    EXPECT_EQ(storedPasscode(), "1234");
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 1);
    advance(VKPasscodeController::ClearDelay);
    enter("1234");
    EXPECT_FALSE(storedPasscode());
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
    EXPECT_TRUE(row("Turn Passcode On").isEnabled());
    EXPECT_FALSE(row("Change Passcode").isEnabled());
    advance(1);
    tapBack();
    EXPECT_EQ(rootStatus(), "Off");
}

TEST_F(VKPasscodeSettingsControllerTest, WithAPasscodeThePageAsksFirst)
{
    storePasscode("1234");
    openSettings();
    tapRow("Passcode Lock");
    ASSERT_TRUE(entryShown());
    EXPECT_EQ(stack(), (Texts { "Settings" }));
    EXPECT_EQ(entry().title(), "Passcode Lock");
    EXPECT_EQ(entry().infoLabel().text(), "Enter your passcode");
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::ConfirmBeforeOpening);

    // "Cancel" leaves the root showing.
    driver.tapBarItem("endPasscodeEntry");
    advance(1);
    EXPECT_FALSE(entryShown());
    EXPECT_EQ(stack(), (Texts { "Settings" }));
    EXPECT_FALSE(topTable().indexPathForSelectedRow());

    // A wrong passcode keeps asking; the right one opens the page at once.
    tapRow("Passcode Lock");
    enter("1111");
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 1);
    EXPECT_TRUE(entryShown());
    advance(VKPasscodeController::ClearDelay);
    enter("1234");
    EXPECT_EQ(stack(), (Texts { "Settings", "Passcode Lock" }));
    EXPECT_FALSE(settingsNavigation().isTransitioning()) << "pushed without animation";
    advance(1);
    EXPECT_FALSE(entryShown());

    // Opened directly (the delegate's group 8), it asks too.
    tapDone();
    openSettings(VKSettingsController::PasscodeGroup);
    EXPECT_TRUE(entryShown());
    EXPECT_EQ(stack(), (Texts { "Settings" }));
    enter("1234");
    advance(1);
    EXPECT_EQ(stack(), (Texts { "Settings", "Passcode Lock" }));
}

TEST_F(VKPasscodeSettingsControllerTest, AStoredPasscodeThatIsNotFourDigitsIsNone)
{
    // Left by something other than this page: the setting does not say a
    // passcode was set (where it does, the lock stays on: tests/App).
    for (const char* stored : { "12ab", "12345", "" }) {
        storePasscode(stored);
        core::UserDefaults::standard()->remove(VKPasscodeLockSetKey);
        openSettings();
        EXPECT_EQ(rootStatus(), "Off") << stored;
        tapRow("Passcode Lock");
        EXPECT_FALSE(entryShown()) << stored;
        EXPECT_TRUE(row("Turn Passcode On").isEnabled());
        EXPECT_FALSE(row("Change Passcode").isEnabled());
        tapDone();
    }
    // Setting one over it replaces it.
    openPage();
    tapRow("Turn Passcode On");
    enter("2468");
    advance(VKPasscodeController::SlideDuration);
    enter("2468");
    EXPECT_EQ(storedPasscode(), "2468");
}

TEST_F(VKPasscodeSettingsControllerTest, UnknownStateOnlyLogs)
{
    openPage();
    tapRow("Turn Passcode On");
    page().setCurrentEntryState(9);
    enter("1234");
    EXPECT_TRUE(logContains("Warning, unhandled passcode state: 9"));
    EXPECT_FALSE(storedPasscode());
    EXPECT_TRUE(entryShown());
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 0);
}

TEST_F(VKPasscodeSettingsControllerTest, LeavingTheApplicationClosesThePage)
{
    application().becomeActive();
    openPage();
    tapRow("Turn Passcode On");
    enter("1234");
    advance(VKPasscodeController::SlideDuration);
    ASSERT_EQ(page().currentEntryState(), VKPasscodeSettingsController::SetConfirmation);

    driver.resignActive();
    EXPECT_FALSE(entryShown()) << "closed without animation";
    EXPECT_EQ(page().currentEntryState(), VKPasscodeSettingsController::ConfirmBeforeOpening);
    EXPECT_EQ(page().currentEntryPasscode(), "");
    EXPECT_EQ(stack(), (Texts { "Settings" }));
    EXPECT_FALSE(settingsNavigation().isTransitioning());
    application().becomeActive();
    runLoop();
    EXPECT_EQ(&topPage(), &settings());
    EXPECT_FALSE(storedPasscode());
}

TEST_F(VKPasscodeSettingsControllerTest, LeavingTheApplicationLeavesOtherPagesAlone)
{
    application().becomeActive();
    openPage();
    tapBack();
    tapRow("Server");
    EXPECT_EQ(stack(), (Texts { "Settings", "Remote Access" }));
    driver.resignActive();
    EXPECT_EQ(stack(), (Texts { "Settings", "Remote Access" }));
    application().becomeActive();

    // Deeper pages above this one go with it.
    tapBack();
    ASSERT_EQ(stack(), (Texts { "Settings" }));
    openSettings(0);
    tapDone();
    openPage();
    settingsNavigation().pushViewController(ui::ViewController::create(), false);
    driver.resignActive();
    EXPECT_EQ(stack(), (Texts { "Settings" }));
}

TEST_F(VKPasscodeSettingsControllerTest, TheLockClosesThePagesEntryScreenFirst)
{
    openPage();
    tapRow("Turn Passcode On");
    ASSERT_TRUE(entryShown());
    storePasscode("1357");
    auto appWindow = VKWindow::create(window().frame());
    delegate->setWindow(appWindow);
    delegate->showPasscodeControllerWithGuestAccess(false, true);
    EXPECT_FALSE(entryShown());
    EXPECT_TRUE(delegate->isRootPasscodeControllerActive());
    // Up at once: the window is already light grey.
    EXPECT_EQ(appWindow->backgroundColor(), ui::StandardColors::lightGray());
    driver.type("1357");
    advance(VKPasscodeController::EnteredDelay);
    EXPECT_FALSE(delegate->isRootPasscodeControllerActive());
    EXPECT_FALSE(storedPasscode() != "1357") << "the page's unfinished entry stored nothing";
    advance(1);
    EXPECT_EQ(&topPage(), &page());
    delegate->setWindow(nullptr);
}

} // namespace
