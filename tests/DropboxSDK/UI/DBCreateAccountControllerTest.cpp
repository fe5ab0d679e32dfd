// The sign-up form pushed from the login form: the first empty field wins,
// an account made then logged in closes both forms, a refused address, and
// a login refused after the account was made that retries only the login.

#include "DropboxSDK/UI/LoginFormTestCase.h"

#include "DropboxSDK/UI/DBCreateAccountController.h"
#include "DropboxSDK/UI/DBLoadingView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

namespace {

class DBCreateAccountControllerTest : public test::LoginFormTestCase {
protected:
    std::shared_ptr<DBCreateAccountController> pushSignUp()
    {
        presentForm();
        form->didPressCreateAccount();
        settle();
        auto* navigation = form->navigationController();
        auto signUp = std::dynamic_pointer_cast<DBCreateAccountController>(navigation->viewControllers().back());
        EXPECT_TRUE(signUp);
        return signUp;
    }
    void fill(DBCreateAccountController& signUp, const std::vector<std::string>& texts)
    {
        for (int row = 0; row < 4; ++row) {
            driver.tapRow(*signUp.tableView(), { 0, row });
            driver.type(texts[size_t(row)]);
        }
        runLoop();
    }
    bool wait(DBCreateAccountController& signUp)
    {
        return waitForAnswer(signUp, [&] { return signUp.isWorking(); });
    }
};

} // namespace

TEST_F(DBCreateAccountControllerTest, TheFirstEmptyFieldIsNamedAndNothingIsSent)
{
    auto signUp = pushSignUp();
    EXPECT_EQ(signUp->title(), "Create Account");
    EXPECT_EQ(driver.stackTitles(*form->navigationController()), (std::vector<std::string> { "Link Account", "Create Account" }));
    EXPECT_EQ(form->navigationItem().backBarButtonItem()->title(), "Link");
    EXPECT_EQ(driver.firstResponder(), signUp->field(DBCreateAccountController::FirstName));
    auto create = signUp->navigationItem().rightBarButtonItem();
    ASSERT_TRUE(create);
    EXPECT_FALSE(create->isEnabled());

    const char* expected[] = {
        "First Name Required / Please enter your first name.",
        "Last Name Required / Please enter your last name.",
        "Email Address Required / Please enter your email address.",
        "Password Required / Please enter your desired password",
    };
    for (int row = 0; row < 4; ++row) {
        signUp->didPressCreateAccount();
        EXPECT_EQ(takeAlert(), expected[row]);
        driver.tapRow(*signUp->tableView(), { 0, row });
        EXPECT_FALSE(signUp->tableView()->indexPathForSelectedRow()) << "a selected row's title is white on white";
        driver.type("x");
        runLoop();
        EXPECT_EQ(create->isEnabled(), row == 3);
    }
    // Return walks down the rows.
    driver.tapRow(*signUp->tableView(), { 0, 0 });
    driver.pressReturn();
    EXPECT_EQ(driver.firstResponder(), signUp->field(DBCreateAccountController::LastName));
    EXPECT_TRUE(server->requests().empty());
}

TEST_F(DBCreateAccountControllerTest, ANewAccountLogsInAndClosesBothForms)
{
    auto signUp = pushSignUp();
    std::string odd = "A&b=c+d%e \u00fc" + std::string(500, 'z');
    fill(*signUp, { odd, "Doe", "new@example.com", "secret" });
    // The service holds its answer, so the form is seen at work however fast
    // the loop runs.
    server->addFault(R"({"endpoint":"account","stall":"account"})");
    driver.pressReturn();
    EXPECT_TRUE(signUp->isWorking());
    ASSERT_TRUE(signUp->loadingView());
    EXPECT_EQ(signUp->loadingView()->titleLabel().text(), "Creating Account");
    server->release("account");
    ASSERT_TRUE(wait(*signUp)) << server->errors();

    EXPECT_EQ(count("/0/account"), 1u);
    EXPECT_EQ(count("/0/token"), 1u);
    auto requests = server->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].parameter("first_name"), odd);
    EXPECT_EQ(requests[0].parameter("last_name"), "Doe");
    EXPECT_EQ(requests[0].parameter("email"), "new@example.com");
    EXPECT_EQ(requests[0].parameter("password"), "secret");
    EXPECT_TRUE(session->isLinked());
    EXPECT_FALSE(root->modalViewController());
    // The sign-up's e-mail becomes the login form's name.
    EXPECT_EQ(events->events, (std::vector<std::string> { "didLogin new@example.com" }));
}

TEST_F(DBCreateAccountControllerTest, ATakenAddressIsRefusedWithTheServicesReason)
{
    auto signUp = pushSignUp();
    fill(*signUp, { "Jane", "Doe", "demo@example.com", "pw" });
    signUp->didPressCreateAccount();
    ASSERT_TRUE(wait(*signUp));
    EXPECT_EQ(takeAlert(), "Create Account Failed / That email is already taken");
    server->addFault(R"({"endpoint":"account","status":503,"body":"down"})");
    signUp->didPressCreateAccount();
    ASSERT_TRUE(wait(*signUp));
    EXPECT_EQ(takeAlert(), "Create Account Failed / An unknown error occured.");
    EXPECT_FALSE(signUp->hasCreatedAccount());
    EXPECT_TRUE(events->events.empty());
}

TEST_F(DBCreateAccountControllerTest, ARefusedLoginAfterSignUpRetriesOnlyTheLogin)
{
    auto signUp = pushSignUp();
    fill(*signUp, { "Jane", "Doe", "other@example.com", "pw" });
    server->addFault(R"({"endpoint":"token","status":503,"body":{"error":"Down"}})");
    signUp->didPressCreateAccount();
    ASSERT_TRUE(wait(*signUp));
    EXPECT_EQ(takeAlert(), "Login Failed / Please try again.");
    EXPECT_TRUE(signUp->hasCreatedAccount());
    EXPECT_FALSE(signUp->field(DBCreateAccountController::Email)->isEnabled());
    EXPECT_FALSE(signUp->field(DBCreateAccountController::Password)->isEnabled());
    EXPECT_TRUE(signUp->field(DBCreateAccountController::FirstName)->isEnabled());

    signUp->didPressCreateAccount();
    ASSERT_TRUE(wait(*signUp));
    EXPECT_EQ(count("/0/account"), 1u);
    EXPECT_EQ(count("/0/token"), 2u);
    EXPECT_EQ(events->events, (std::vector<std::string> { "didLogin other@example.com" }));
}

TEST_F(DBCreateAccountControllerTest, AMemoryWarningUnloadsTheCoveredLoginFormWhichComesBack)
{
    auto signUp = pushSignUp();
    form->setUserName("kept@example.com");
    driver.memoryWarning();
    EXPECT_FALSE(form->isViewLoaded());
    EXPECT_EQ(form->userName(), "kept@example.com");
    driver.tapBack();
    settle();
    ASSERT_TRUE(form->isViewLoaded());
    EXPECT_EQ(form->emailField()->text(), "kept@example.com");
}
