// The login and sign-up forms as a person sees them: empty, typed and
// working (the phone's overlay, the tablet's form sheet with its footer
// spinner), a refusal, the sign-up form and its state after a refused
// login. Rendered with real text into build/screens/cloud/ (the phone
// upright only, as the form allows; the tablet both ways); the typed phone
// form and the working tablet sheet are kept as goldens in the
// deterministic text engine, and no picture shows the password. The
// artwork fills the sheet, the form's column included.

#include "DropboxSDK/UI/LoginFormTestCase.h"

#include "DropboxSDK/UI/DBCreateAccountController.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Support/GoldenImage.h"
#include "Support/RecordingTextEngine.h"

#include <fmt/format.h>

namespace {

constexpr const char* Password = "s3cret-pw";

class LoginFormScreensTest : public test::LoginFormTestCase {
protected:
    void shoot(const std::string& name, ui::Orientation orientation)
    {
        std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/cloud"), fmt::format("{}-{}-{}", name, device().name, side),
            device().scale);
    }
    std::shared_ptr<DBCreateAccountController> pushSignUp()
    {
        form->didPressCreateAccount();
        settle();
        return std::dynamic_pointer_cast<DBCreateAccountController>(form->navigationController()->viewControllers().back());
    }
    void shootAll();
};

class LoginFormTabletScreensTest : public LoginFormScreensTest {
protected:
    const test::DeviceScreen& device() const override { return test::tabletScreen; }
};

void LoginFormScreensTest::shootAll()
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    std::vector<ui::Orientation> orientations { ui::Orientation::Portrait };
    if (device().tablet)
        orientations.push_back(ui::Orientation::LandscapeLeft);
    for (auto orientation : orientations) {
        auto shot = [&](const std::string& name) { shoot(name, orientation); };
        presentForm();
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        shot("login-empty");
        typeLogin("demo@example.com", Password);
        shot("login-typed");
        server->addFault(R"({"endpoint":"token","stall":"w"})");
        form->didPressLogin();
        runLoop();
        shot("login-working");
        server->release("w");
        ASSERT_TRUE(waitForAnswer(*form, [&] { return form->isWorking(); }));
        // The stalled answer refused the made-up password.
        ASSERT_TRUE(driver.alert());
        shot("login-refused");
        driver.pressAlertButton(0);
        settle();

        auto signUp = pushSignUp();
        ASSERT_TRUE(signUp);
        shot("signup-empty");
        for (int row = 0; row < 4; ++row) {
            driver.tapRow(*signUp->tableView(), { 0, row });
            driver.type(std::vector<std::string> { "Jane", "Doe", fmt::format("jane{}@example.com", int(orientation)), "pw" }[size_t(row)]);
        }
        runLoop();
        server->addFault(R"({"endpoint":"token","status":503,"body":{"error":"Down"}})");
        signUp->didPressCreateAccount();
        ASSERT_TRUE(waitForAnswer(*signUp, [&] { return signUp->isWorking(); }));
        shot("signup-login-failed-alert");
        driver.pressAlertButton(0);
        settle();
        shot("signup-login-failed");
        form->didPressCancel();
        settle();
        form.reset();
    }
}

TEST_F(LoginFormScreensTest, PhoneWithRealText)
{
    shootAll();
}

TEST_F(LoginFormTabletScreensTest, TabletWithRealText)
{
    shootAll();
}

// The typed form: the pictures, the view tree and what was drawn as text
// show bullets, never the password.
TEST_F(LoginFormScreensTest, PhoneGoldenShowsNoPassword)
{
    auto recorder = std::make_shared<test::RecordingTextEngine>();
    gfx::setTextEngine(recorder);
    presentForm();
    typeLogin("demo@example.com", Password);
    advance(1);
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "cloud-login-typed-phone-portrait"));
    auto drawn = recorder->texts();
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), "demo@example.com"), drawn.end());
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), std::string("\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022")), drawn.end());
    for (const auto& text : drawn)
        EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
    EXPECT_EQ(driver.dump().find("s3cret"), std::string::npos);
    EXPECT_NE(driver.dump().find("demo@example.com"), std::string::npos);
}

TEST_F(LoginFormTabletScreensTest, TabletGoldenOfTheWorkingSheet)
{
    presentForm();
    typeLogin("demo@example.com", "demo");
    server->addFault(R"({"endpoint":"token","stall":"g"})");
    form->didPressLogin();
    runLoop();
    advance(1);
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "cloud-login-working-tablet-portrait"));
    // The artwork fills the sheet: under the form's column, below its rows,
    // it is what it is beside the column, not a grey band.
    auto* table = form->tableView();
    gfx::Rect column = table->convertRect(table->bounds(), nullptr);
    int y = int(column.maxY()) - 20;
    auto under = test::straightPixel(*picture, int(column.midX()), y);
    auto beside = test::straightPixel(*picture, int(column.minX()) - 20, y);
    EXPECT_NEAR(under.red, beside.red, 8);
    EXPECT_NEAR(under.green, beside.green, 8);
    EXPECT_NEAR(under.blue, beside.blue, 8);
    server->release("g");
    ASSERT_TRUE(waitForAnswer(*form, [&] { return form->isWorking(); }));
}

} // namespace
