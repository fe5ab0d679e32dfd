// The passcode entry screen driven by typing into its hidden field on the
// manual clock: the boxes, the delegate's call, the digits-only rule, the
// back-off with its countdown across a relaunch, hostile stored values, the
// slide between instructions, and delayed work that outlives the screen.

#include "Shell/VKPasscodeController.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/ViewAnimation.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <limits>

namespace {

class RecordingDelegate : public VKPasscodeControllerDelegate {
public:
    void passcodeEnteredForController(VKPasscodeController& controller) override
    {
        entries.push_back(controller.passcode());
    }
    std::vector<std::string> entries;
};

class VKPasscodeControllerTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        controller.reset();
        UITestCase::TearDown();
    }

    // A new entry screen shown in a navigation controller, listened to.
    void show(ui::Orientation orientation = ui::Orientation::Portrait)
    {
        window().setRootViewController(nullptr);
        controller = VKPasscodeController::passcodeControllerForInterfaceOrientation(orientation);
        controller->setTitle("Tandry");
        controller->setInfoText("Enter your passcode");
        controller->setDelegate(delegate);
        navigation = ui::NavigationController::create(controller);
        window().setRootViewController(navigation);
        runLoop();
    }

    // How many boxes show a dot, checking the others are blank.
    int dots()
    {
        auto dot = ui::Images::imageNamed("passcode_dot.png");
        auto blank = ui::Images::imageNamed("passcode_blank.png");
        int count = 0;
        for (int index = 0; index < VKPasscodeController::PasscodeLength; ++index) {
            auto& image = controller->digitViewForTesting(index).image();
            EXPECT_TRUE(image == dot || image == blank) << "box " << index;
            count += image == dot;
        }
        return count;
    }

    std::string info() { return controller->infoLabel().text(); }
    std::string failure() { return controller->failureLabel().isHidden() ? std::string() : controller->failureLabel().text(); }
    static core::Value stored(const char* key) { return core::UserDefaults::standard()->object(key); }

    // A wrong entry as the lock reports one: typed, then counted.
    void failOnce()
    {
        driver.type("9999");
        advance(VKPasscodeController::EnteredDelay);
        controller->registerFailedAttempt();
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<VKPasscodeController> controller;
    std::shared_ptr<ui::NavigationController> navigation;
};

TEST_F(VKPasscodeControllerTest, EachOrientationGetsItsLayoutBuiltInCode)
{
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::PortraitUpsideDown })
        EXPECT_FALSE(VKPasscodeController::passcodeControllerForInterfaceOrientation(orientation)->isLandscapeLayout());
    for (auto orientation : { ui::Orientation::LandscapeLeft, ui::Orientation::LandscapeRight })
        EXPECT_TRUE(VKPasscodeController::passcodeControllerForInterfaceOrientation(orientation)->isLandscapeLayout());

    show();
    auto& field = controller->hiddenField();
    EXPECT_TRUE(field.isHidden());
    EXPECT_FALSE(field.isSecureTextEntry());
    EXPECT_EQ(driver.firstResponder(), &field);
    EXPECT_EQ(info(), "Enter your passcode");
    EXPECT_EQ(failure(), "");
    EXPECT_EQ(dots(), 0);
    // The row of boxes at every size and in both layouts: PasscodeScreensTest.
}

TEST_F(VKPasscodeControllerTest, DigitsFillTheBoxesAndTheDelegateHearsOnce)
{
    show();
    std::string typed;
    for (char digit : std::string("1234")) {
        driver.type(std::string(1, digit));
        typed += digit;
        EXPECT_EQ(dots(), int(typed.size()));
    }
    EXPECT_EQ(controller->hiddenField().text(), "1234");
    driver.type("5");
    EXPECT_EQ(controller->hiddenField().text(), "1234") << "a fifth digit is refused";
    EXPECT_EQ(controller->passcode(), "1234");

    advance(0.09);
    EXPECT_TRUE(delegate->entries.empty());
    advance(0.01);
    EXPECT_EQ(delegate->entries, std::vector<std::string> { "1234" });
    advance(1);
    EXPECT_EQ(delegate->entries.size(), 1u);

    // Deleting shows in the boxes; the entry is the first four characters
    // even when a paste made it longer.
    driver.deleteBackward();
    EXPECT_EQ(dots(), 3);
    controller->clearPasscode();
    driver.paste("56789");
    EXPECT_EQ(controller->passcode(), "5678");
    EXPECT_EQ(dots(), 4);
    advance(0.1);
    EXPECT_EQ(delegate->entries.back(), "5678");
}

TEST_F(VKPasscodeControllerTest, OnlyDigitsAreTaken)
{
    show();
    driver.type("12");
    driver.type("a");
    driver.paste("b4");
    driver.paste("٣");
    driver.type(" ");
    EXPECT_EQ(controller->hiddenField().text(), "12");
    driver.paste("34");
    EXPECT_EQ(controller->passcode(), "1234");
    advance(0.1);
    EXPECT_EQ(delegate->entries, std::vector<std::string> { "1234" });
}

TEST_F(VKPasscodeControllerTest, InfoTextActivityAndAppearance)
{
    application().becomeActive();
    show();
    driver.type("12");
    controller->setInfoText("Enter a passcode");
    EXPECT_EQ(info(), "Enter a passcode");
    EXPECT_EQ(controller->infoText(), "Enter a passcode");
    EXPECT_EQ(dots(), 0);

    // Leaving the application clears what was typed, so a call due for a
    // whole entry does not go out for one that is gone.
    driver.type("1234");
    driver.resignActive();
    EXPECT_EQ(controller->hiddenField().text(), "");
    advance(0.2);
    EXPECT_TRUE(delegate->entries.empty());

    // Coming back refreshes the status and takes the keys again.
    controller->hiddenField().resignFirstResponder();
    core::UserDefaults::standard()->set(VKFailedAttemptsKey, core::Value(int64_t(2)));
    application().becomeActive();
    EXPECT_EQ(driver.firstResponder(), &controller->hiddenField());
    EXPECT_EQ(failure(), "2 Failed Passcode Attempts");

    // Going away lets the keys go and stops the countdown.
    for (int i = 0; i < 3; ++i)
        failOnce();
    advance(0.2);
    failOnce();
    ASSERT_EQ(VKPasscodeController::failedAttempts(), 6);
    EXPECT_EQ(info(), "Try again in 00:00:30");
    navigation->pushViewController(ui::ViewController::create(), false);
    EXPECT_NE(driver.firstResponder(), &controller->hiddenField());
    advance(5);
    EXPECT_EQ(info(), "Try again in 00:00:30") << "no refresh while hidden";
    navigation->popViewController(false);
    EXPECT_EQ(info(), "Try again in 00:00:25");
    EXPECT_EQ(driver.firstResponder(), &controller->hiddenField());
}

TEST_F(VKPasscodeControllerTest, FirstFiveWrongEntriesHoldTypingBriefly)
{
    show();
    auto defaults = core::UserDefaults::standard();
    const char* labels[] = { "1 Failed Passcode Attempt", "2 Failed Passcode Attempts", "3 Failed Passcode Attempts",
        "4 Failed Passcode Attempts", "5 Failed Passcode Attempts" };
    for (int attempt = 1; attempt <= 5; ++attempt) {
        failOnce();
        EXPECT_EQ(stored(VKFailedAttemptsKey), core::Value(int64_t(attempt)));
        ASSERT_TRUE(stored(VKDisabledUntilDateKey).isDate());
        EXPECT_NEAR(stored(VKDisabledUntilDateKey).date().timeIntervalSinceNow(), 0.2, 1e-6);
        EXPECT_EQ(failure(), labels[attempt - 1]);
        EXPECT_EQ(info(), "Enter your passcode") << "no countdown for a short hold";
        EXPECT_TRUE(controller->isPasscodeEntryDisabled());
        driver.type("1");
        EXPECT_EQ(dots(), 4) << "refused while held; the wrong digits still show";
        advance(0.19);
        EXPECT_EQ(dots(), 4);
        advance(0.01);
        EXPECT_EQ(dots(), 0);
        EXPECT_FALSE(controller->isPasscodeEntryDisabled());
        driver.type("1");
        EXPECT_EQ(dots(), 1);
        controller->clearPasscode();
    }
    EXPECT_EQ(delegate->entries.size(), 5u);
    (void)defaults;
}

TEST_F(VKPasscodeControllerTest, LongerLockoutsCountDownAndSurviveARelaunch)
{
    show();
    for (int attempt = 1; attempt <= 5; ++attempt) {
        failOnce();
        advance(0.2);
    }
    failOnce();
    EXPECT_EQ(info(), "Try again in 00:00:30");
    advance(1);
    EXPECT_EQ(info(), "Try again in 00:00:29");
    driver.type("1");
    EXPECT_EQ(dots(), 0);
    advance(28);
    EXPECT_EQ(info(), "Try again in 00:00:01");
    advance(0.9);
    EXPECT_EQ(info(), "Try again in 00:00:01");
    advance(0.1);
    EXPECT_EQ(info(), "Enter your passcode");
    EXPECT_FALSE(controller->isPasscodeEntryDisabled());

    failOnce();
    EXPECT_EQ(info(), "Try again in 00:01:00");
    advance(30);
    EXPECT_EQ(info(), "Try again in 00:00:30");
    advance(30);
    failOnce();
    EXPECT_EQ(info(), "Try again in 00:02:00");
    EXPECT_EQ(failure(), "8 Failed Passcode Attempts");
    advance(10);

    // The settings go to their file and are read back; a new screen goes
    // on counting down.
    ASSERT_TRUE(core::UserDefaults::standard()->synchronize());
    window().setRootViewController(nullptr);
    navigation.reset();
    controller.reset();
    core::UserDefaults::resetStandardForTesting();
    show();
    EXPECT_EQ(info(), "Try again in 00:01:50");
    EXPECT_EQ(failure(), "8 Failed Passcode Attempts");
    EXPECT_TRUE(controller->isPasscodeEntryDisabled());
    advance(1);
    EXPECT_EQ(info(), "Try again in 00:01:49");

    controller->registerSuccess();
    EXPECT_TRUE(stored(VKFailedAttemptsKey).isNull());
    EXPECT_TRUE(stored(VKDisabledUntilDateKey).isNull());
    EXPECT_EQ(info(), "Enter your passcode");
    EXPECT_EQ(failure(), "");
    driver.type("1");
    EXPECT_EQ(dots(), 1);
}

TEST_F(VKPasscodeControllerTest, LockoutStopsDoublingAndTheCountSaturates)
{
    using C = VKPasscodeController;
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(0), 0.2);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(5), 0.2);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(6), 30);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(7), 60);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(8), 120);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(26), 30 * 1048576.0);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(27), 30 * 1048576.0);
    EXPECT_DOUBLE_EQ(C::lockoutForAttempt(std::numeric_limits<int64_t>::max()), 30 * 1048576.0);
    EXPECT_EQ(C::countdownText(30), "00:00:30");
    EXPECT_EQ(C::countdownText(29.2), "00:00:30");
    EXPECT_EQ(C::countdownText(3600 * 12 + 61), "12:01:01");
    EXPECT_EQ(C::countdownText(30 * 1048576.0), "8738:08:00");

    show();
    auto defaults = core::UserDefaults::standard();
    for (int64_t count : { int64_t(1000000), std::numeric_limits<int64_t>::max() }) {
        defaults->set(VKFailedAttemptsKey, core::Value(count));
        controller->registerFailedAttempt();
        int64_t expected = count == std::numeric_limits<int64_t>::max() ? count : count + 1;
        EXPECT_EQ(stored(VKFailedAttemptsKey), core::Value(expected));
        ASSERT_TRUE(stored(VKDisabledUntilDateKey).isDate());
        EXPECT_NEAR(stored(VKDisabledUntilDateKey).date().timeIntervalSinceNow(), 30 * 1048576.0, 1e-3);
        EXPECT_EQ(info(), "Try again in 8738:08:00");
        EXPECT_EQ(failure(), std::to_string(expected) + " Failed Passcode Attempts");
        EXPECT_TRUE(defaults->synchronize());
    }
    // The note stays within the screen.
    EXPECT_LE(controller->failureLabel().frame().maxX(), controller->view()->bounds().width());
    EXPECT_GE(controller->failureLabel().frame().minX(), 0);
}

TEST_F(VKPasscodeControllerTest, BackOffValuesOfTheWrongKindCountAsNone)
{
    auto defaults = core::UserDefaults::standard();
    const std::vector<std::pair<core::Value, core::Value>> hostile {
        { core::Value("7"), core::Value(core::Date::now().timeIntervalSinceReferenceDate() + 100) },
        { core::Value(int64_t(-3)), core::Value("tomorrow") },
        { core::Value(-2.5), core::Value(int64_t(12)) },
        { core::Value(true), core::Value::makeArray({ core::Value(1) }) },
        { core::Value::makeDictionary({ { "a", core::Value(1) } }), core::Value(core::Data()) },
    };
    for (const auto& [count, date] : hostile) {
        defaults->set(VKFailedAttemptsKey, count);
        defaults->set(VKDisabledUntilDateKey, date);
        EXPECT_EQ(VKPasscodeController::failedAttempts(), 0) << count.description();
        EXPECT_FALSE(VKPasscodeController::disabledUntilDate()) << date.description();
        show();
        EXPECT_EQ(failure(), "");
        EXPECT_EQ(info(), "Enter your passcode");
        EXPECT_FALSE(controller->isPasscodeEntryDisabled());
        driver.type("1");
        EXPECT_EQ(dots(), 1);
        controller->registerFailedAttempt();
        EXPECT_EQ(stored(VKFailedAttemptsKey), core::Value(int64_t(1)));
        EXPECT_TRUE(stored(VKDisabledUntilDateKey).isDate());
        advance(0.2);
    }
    // A real count is read as a whole number.
    defaults->set(VKFailedAttemptsKey, core::Value(6.0));
    EXPECT_EQ(VKPasscodeController::failedAttempts(), 6);
    defaults->set(VKFailedAttemptsKey, core::Value(1e300));
    EXPECT_EQ(VKPasscodeController::failedAttempts(), std::numeric_limits<int64_t>::max());
}

TEST_F(VKPasscodeControllerTest, MismatchLeavesTheCountAlone)
{
    show();
    core::UserDefaults::standard()->set(VKFailedAttemptsKey, core::Value(int64_t(2)));
    driver.type("5678");
    controller->registerFailedConfirmation();
    EXPECT_EQ(failure(), "Passcodes did not match. Try again.");
    EXPECT_EQ(stored(VKFailedAttemptsKey), core::Value(int64_t(2)));
    EXPECT_TRUE(stored(VKDisabledUntilDateKey).isNull());
    advance(0.19);
    EXPECT_EQ(dots(), 4);
    advance(0.01);
    EXPECT_EQ(dots(), 0);
    driver.type("1");
    EXPECT_EQ(dots(), 1);
}

TEST_F(VKPasscodeControllerTest, SlideBetweenInstructions)
{
    show();
    auto& root = *controller->view();
    std::vector<gfx::Rect> before;
    for (const auto& subview : root.subviews())
        before.push_back(subview->frame());
    driver.type("12");
    controller->animateToInfoText("Re-enter your passcode");
    EXPECT_TRUE(controller->isAnimating());
    EXPECT_TRUE(controller->isPasscodeEntryDisabled());
    EXPECT_EQ(info(), "Re-enter your passcode");
    EXPECT_EQ(dots(), 0);
    // The picture of the old screen is the front view, over the whole view.
    ASSERT_EQ(root.subviews().size(), before.size() + 1);
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(root.subviews().back());
    ASSERT_TRUE(picture && picture->image());
    EXPECT_EQ(picture->image()->size(), root.bounds().size);
    EXPECT_FALSE(picture->layer().animationKeys().empty());

    // Half-way the old screen is half gone to the left, the new one half in.
    advance(0.25);
    auto shown = picture->layer().presentation();
    EXPECT_LT(shown.position.x, root.bounds().midX());
    EXPECT_GT(shown.position.x, root.bounds().midX() - 320);
    driver.type("3");
    EXPECT_EQ(dots(), 0) << "no typing while sliding";

    advance(0.25);
    EXPECT_FALSE(controller->isAnimating());
    EXPECT_EQ(picture->superview(), nullptr);
    ASSERT_EQ(root.subviews().size(), before.size());
    for (size_t index = 0; index < before.size(); ++index)
        EXPECT_EQ(root.subviews()[index]->frame(), before[index]) << index;
    driver.type("3");
    EXPECT_EQ(dots(), 1);
}

TEST_F(VKPasscodeControllerTest, DelayedWorkNeverKeepsAClosedScreen)
{
    // A delegate call due, a countdown running and a clearing pending, then
    // the screen goes.
    show();
    std::weak_ptr<VKPasscodeController> weak = controller;
    driver.type("1234");
    core::UserDefaults::standard()->set(VKFailedAttemptsKey, core::Value(int64_t(5)));
    controller->registerFailedAttempt();
    ASSERT_EQ(info(), "Try again in 00:00:30");
    window().setRootViewController(nullptr);
    navigation.reset();
    controller.reset();
    EXPECT_TRUE(weak.expired());
    advance(60);
    EXPECT_TRUE(delegate->entries.empty());

    // The same in the middle of a slide.
    show();
    weak = controller;
    controller->animateToInfoText("Re-enter your passcode");
    advance(0.1);
    window().setRootViewController(nullptr);
    navigation.reset();
    controller.reset();
    EXPECT_TRUE(weak.expired());
    advance(1);
}

} // namespace
