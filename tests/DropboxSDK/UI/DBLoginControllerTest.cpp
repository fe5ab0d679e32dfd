// The login form against the fake service: checks before sending, a
// successful login, refusals with the service's reasons, cancel while
// working, and what a phone and a tablet show meanwhile.

#include "DropboxSDK/UI/LoginFormTestCase.h"

#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/UI/DBLoadingView.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <filesystem>

namespace {

class DBLoginControllerTest : public test::LoginFormTestCase { };

class DBLoginControllerMessage : public test::TestCase { };

class DBLoginControllerTabletTest : public test::LoginFormTestCase {
protected:
    const test::DeviceScreen& device() const override { return test::tabletScreen; }
};

} // namespace

TEST_F(DBLoginControllerTest, EmptyFieldsAreRefusedBeforeAnythingIsSent)
{
    presentForm();
    ASSERT_TRUE(form->tableView());
    EXPECT_EQ(form->title(), "Link Account");
    auto link = form->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(link);
    EXPECT_EQ(link->title(), "Link");
    EXPECT_FALSE(link->isEnabled());
    EXPECT_FALSE(driver.rotate(ui::Orientation::LandscapeLeft));

    form->didPressLogin();
    EXPECT_EQ(takeAlert(), "Email Required / Please enter your email.");

    driver.tapRow(*form->tableView(), { 0, 0 });
    EXPECT_EQ(driver.firstResponder(), form->emailField());
    // The row gives its field the keyboard and stays unselected: a selected
    // row draws its title in white on its white background.
    EXPECT_FALSE(form->tableView()->indexPathForSelectedRow());
    driver.type("demo@example.com");
    // A row's edit scrolls the phone's table clear of the keyboard.
    EXPECT_EQ(form->tableView()->contentOffset().y, 150);
    runLoop();
    EXPECT_FALSE(link->isEnabled());
    driver.pressReturn();
    EXPECT_EQ(driver.firstResponder(), form->passwordField());
    form->didPressLogin();
    EXPECT_EQ(takeAlert(), "Password Required / Please enter you password.");

    driver.type("s");
    runLoop();
    EXPECT_TRUE(link->isEnabled());
    driver.deleteBackward();
    runLoop();
    EXPECT_FALSE(link->isEnabled());
    EXPECT_TRUE(server->requests().empty());
    EXPECT_TRUE(events->events.empty());
}

TEST_F(DBLoginControllerTest, ALoginStoresTheTokenClosesTheFormAndTellsTheDelegate)
{
    presentForm();
    typeLogin("demo@example.com", "demo");
    // The password is drawn as bullets, never as typed.
    EXPECT_EQ(driver.dump().find("demo\n"), std::string::npos);
    EXPECT_EQ(driver.dump().find("\"demo\""), std::string::npos);

    // The answer waits until the form's working state has been looked at.
    server->addFault(R"({"endpoint":"token","stall":"answer"})");
    driver.pressReturn();
    EXPECT_TRUE(form->isWorking());
    EXPECT_FALSE(form->view()->isUserInteractionEnabled());
    ASSERT_TRUE(form->loadingView());
    EXPECT_EQ(form->loadingView()->superview(), &window());
    EXPECT_FALSE(form->loadingView()->isUserInteractionEnabled());
    EXPECT_FALSE(form->navigationItem().rightBarButtonItem()->isEnabled());
    EXPECT_EQ(driver.firstResponder(), nullptr);
    EXPECT_EQ(form->tableView()->contentOffset().y, 0);

    server->release("answer");
    ASSERT_TRUE(waitForAnswer(*form, [&] { return form->isWorking(); })) << server->errors();
    EXPECT_TRUE(session->isLinked());
    EXPECT_TRUE(session->credentialStore()->accessToken());
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(events->events, (std::vector<std::string> { "didLogin demo@example.com" }));
    EXPECT_EQ(count("/0/token"), 1u);
    EXPECT_FALSE(form->loadingView());
    // No overlay is left in the window.
    for (const auto& view : window().subviews())
        EXPECT_FALSE(dynamic_cast<DBLoadingView*>(view.get()));
}

TEST_F(DBLoginControllerTest, RefusalsShowTheServicesReasonAndLeaveTheFormAsTyped)
{
    presentForm();
    typeLogin("demo@example.com", "wrong");
    auto attempt = [&] {
        form->didPressLogin();
        EXPECT_TRUE(waitForAnswer(*form, [&] { return form->isWorking(); })) << server->errors();
        return takeAlert();
    };
    EXPECT_EQ(attempt(), "Unable to Login / Invalid email or password");
    EXPECT_EQ(form->emailField()->text(), "demo@example.com");
    EXPECT_EQ(form->passwordField()->text(), "wrong");
    EXPECT_TRUE(form->view()->isUserInteractionEnabled());

    server->addFault(R"({"endpoint":"token","status":400,"body":{"error":{"password":"Too short"}}})");
    EXPECT_EQ(attempt(), "Unable to Login / Too short");
    server->addFault(R"({"endpoint":"token","status":400,"body":{"error":{"zip":"Last","email":"First"}}})");
    EXPECT_EQ(attempt(), "Unable to Login / First");
    server->addFault(R"({"endpoint":"token","status":503,"body":{"error":"Down"}})");
    EXPECT_EQ(attempt(), "Unable to Login / Down");
    server->addFault(R"({"endpoint":"token","status":503,"body":"Service Unavailable"})");
    EXPECT_EQ(attempt(), "Unable to Login / An unknown error has occurred.");
    // A service that cannot be reached.
    server.reset();
    EXPECT_EQ(attempt(), "Unable to Login / There was an error connecting to Dropbox.");
    EXPECT_FALSE(session->isLinked());
    EXPECT_TRUE(events->events.empty());
    EXPECT_TRUE(root->modalViewController());
}

TEST_F(DBLoginControllerMessage, UnusableReasonsFallBackAndLongOnesAreCut)
{
    auto message = [](core::Value reason) {
        core::Error error("DBErrorDomain", 400, core::Value::Dictionary { { "error", std::move(reason) } });
        return DBLoginController::messageForError(error, "fallback");
    };
    EXPECT_EQ(message(core::Value(int64_t(7))), "fallback");
    EXPECT_EQ(message(core::Value(core::Value::Array { core::Value("a") })), "fallback");
    EXPECT_EQ(message(core::Value(core::Value::Dictionary {})), "fallback");
    EXPECT_EQ(message(core::Value(core::Value::Dictionary { { "a", core::Value(int64_t(1)) } })), "fallback");
    EXPECT_EQ(message(core::Value("<b>bold</b>")), "<b>bold</b>");
    std::string longText(999, 'x');
    longText += "\u00e9\u00e9";
    EXPECT_EQ(message(core::Value(longText)), std::string(999, 'x') + "\u00e9\u2026");
    EXPECT_EQ(message(core::Value(std::string(1000, 'y'))), std::string(1000, 'y'));
    EXPECT_EQ(DBLoginController::messageForError(core::Error(net::URLErrorDomain, -1004), "fallback"),
        "There was an error connecting to Dropbox.");
}

TEST_F(DBLoginControllerTest, CancelWhileWorkingClosesAtOnceAndTheAnswerIsNeverShown)
{
    presentForm();
    typeLogin("demo@example.com", "demo");
    server->addFault(R"({"endpoint":"token","stall":"t"})");
    form->didPressLogin();
    ASSERT_TRUE(form->isWorking());
    driver.tapBarItem(*form->navigationItem().leftBarButtonItem());
    settle();
    EXPECT_EQ(events->events, (std::vector<std::string> { "didCancel" }));
    EXPECT_FALSE(root->modalViewController());
    EXPECT_FALSE(form->loadingView());

    std::weak_ptr<DBLoginController> weak = form;
    form.reset();
    EXPECT_TRUE(weak.expired());
    server->release("t");
    core::RunLoop::main().runUntil([&] { return count("/0/token") == 1 && !server->requests().empty(); }, 5);
    runLoop();
    EXPECT_TRUE(driver.shownChoices().empty());
    EXPECT_FALSE(session->isLinked());
}

TEST_F(DBLoginControllerTest, AFormDestroyedWhileWorkingLeavesNoOverlay)
{
    presentForm();
    typeLogin("demo@example.com", "demo");
    server->addFault(R"({"endpoint":"token","stall":"t"})");
    form->didPressLogin();
    ASSERT_TRUE(form->loadingView());
    root->dismissModalViewController(false);
    settle();
    form.reset();
    for (const auto& view : window().subviews())
        EXPECT_FALSE(dynamic_cast<DBLoadingView*>(view.get()));
    server->release("t");
}

TEST_F(DBLoginControllerTabletTest, TheTabletTurnsTheFooterSpinnerInAFormSheet)
{
    presentForm();
    EXPECT_FALSE(form->navigationItem().rightBarButtonItem());
    ASSERT_TRUE(form->navigationController());
    EXPECT_EQ(form->navigationController()->modalPresentationStyle(), ui::ViewController::PresentationStyle::FormSheet);
    EXPECT_EQ(driver.firstResponder(), form->emailField());
    EXPECT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));
    EXPECT_EQ(form->tableView()->frame().origin.x, 110);

    typeLogin("demo@example.com", "demo");
    server->addFault(R"({"endpoint":"token","delay":0.3})");
    // The footer's Link button is a whole target, with its spinner's room
    // inside its right end, and a tap on it sends the login.
    ASSERT_TRUE(form->activityIndicator());
    auto* footer = form->activityIndicator()->superview();
    ASSERT_TRUE(footer);
    auto* link = dynamic_cast<ui::Button*>(footer->subviews().front().get());
    ASSERT_TRUE(link);
    auto button = link->frame();
    auto spinner = form->activityIndicator()->frame();
    EXPECT_GE(button.size.height, 36);
    EXPECT_GE(button.size.width, 88);
    EXPECT_EQ(button.origin.x + button.size.width, 312);
    EXPECT_GE(spinner.origin.x, button.origin.x + button.size.width / 2);
    EXPECT_LE(spinner.origin.x + spinner.size.width, button.origin.x + button.size.width);
    EXPECT_LE(spinner.origin.y + spinner.size.height, button.origin.y + button.size.height);
    driver.tap(*link);
    runLoop();
    ASSERT_TRUE(form->isWorking());
    EXPECT_TRUE(form->activityIndicator()->isAnimating());
    EXPECT_FALSE(form->loadingView());
    EXPECT_FALSE(form->view()->isUserInteractionEnabled());
    ASSERT_TRUE(waitForAnswer(*form, [&] { return form->isWorking(); }));
    EXPECT_EQ(events->events, (std::vector<std::string> { "didLogin demo@example.com" }));
}
