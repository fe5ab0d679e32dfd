// The cloud pages as a person sees them: "Cloud Servers" with the services
// shown and hidden, the account page loading and loaded, its two
// questions, and the login form pushed from the page. Rendered with real
// text at phone size and in the tablet's form sheet, upright and turned,
// into build/screens/cloud/; the loaded account page on the phone is kept
// as a golden in the deterministic text engine.

#include "CloudSettingsTestCase.h"

#include "Cloud/VKDropboxAccount.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Renderer.h"
#include "Support/GoldenImage.h"

#include <fmt/format.h>

#include <filesystem>
#include <fstream>

namespace {

class CloudSettingsScreensTest : public test::CloudSettingsTestCase {
protected:
    void SetUp() override
    {
        CloudSettingsTestCase::SetUp();
        core::UserDefaults::standard()->set(VKDropboxAccountUserNameKey, core::Value("demo@example.com"));
    }
    void shoot(const std::string& name, const test::DeviceScreen& device, ui::Orientation orientation)
    {
        std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/cloud"), fmt::format("{}-{}-{}", name, device.name, side), device.scale);
    }
    // The account page with its quota and local size in.
    void openLoadedAccountPage()
    {
        openCloudServers();
        tapRow("Dropbox");
        auto* page = accountPage();
        ASSERT_TRUE(page);
        ASSERT_TRUE(waitFor([&] { return !spinning(page->quotaInfoCell()) && !spinning(page->localStorageCell()); }));
    }
    void shootAll(const test::DeviceScreen& device);
};

void CloudSettingsScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    launchWithCloud(true, device);
    std::ofstream(std::filesystem::path(cloud->root()) / "notes.txt") << std::string(300000, 'n');
    std::filesystem::create_directories(std::filesystem::path(dropbox()->localPath()) / "Docs");
    std::ofstream(std::filesystem::path(dropbox()->localPath()) / "Docs/a.txt") << std::string(120000, 'a');
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto shot = [&](const std::string& name) { shoot(name, device, orientation); };
        openCloudServers();
        shot("cloud-servers");
        driver.toggle(toggle("Display Servers").switchControl());
        advance(1);
        shot("cloud-servers-hidden");
        driver.toggle(toggle("Display Servers").switchControl());
        advance(1);

        cloud->addFault(R"({"endpoint":"account/info","delay":1})");
        tapRow("Dropbox");
        shot("account-loading");
        auto* page = accountPage();
        ASSERT_TRUE(page);
        ASSERT_TRUE(waitFor([&] { return !spinning(page->quotaInfoCell()) && !spinning(page->localStorageCell()); }));
        shot("account-loaded");
        // On a tablet the questions point at their rows; a tap beside cancels.
        auto cancelSheet = [&] {
            if (device.tablet)
                driver.tapOutsideSheet();
            else
                driver.pressSheetButton("Cancel");
            advance(1);
        };
        tapRow("Reset Local Storage");
        shot("reset-sheet");
        cancelSheet();
        tapRow("Unlink Account");
        shot("unlink-sheet");
        cancelSheet();
        tapDone();
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);

    // The login form pushed from the page, in both orientations the
    // device allows.
    dropbox()->unlink();
    openCloudServers();
    tapRow("Dropbox");
    shoot("login-pushed", device, ui::Orientation::Portrait);
    settingsNavigation().popToRootViewController(false);
    advance(1);
    tapDone();
}

TEST_F(CloudSettingsScreensTest, PhoneWithRealText)
{
    shootAll(test::phoneScreen);
}

TEST_F(CloudSettingsScreensTest, TabletWithRealText)
{
    shootAll(test::tabletScreen);
}

// The login form as the root list presents it: a sheet over the list on a
// tablet, in both orientations, empty and typed.
TEST_F(CloudSettingsScreensTest, TabletSheetOverTheRootList)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto* form = openLoginFromRootList(test::tabletScreen);
    ASSERT_TRUE(form);
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        shoot("login-sheet-over-root", test::tabletScreen, orientation);
    }
    driver.tapRow(*form->tableView(), { 0, 0 });
    driver.type("demo@example.com");
    driver.tapRow(*form->tableView(), { 0, 1 });
    driver.type("demo");
    advance(1);
    shoot("login-sheet-over-root-typed", test::tabletScreen, ui::Orientation::LandscapeLeft);
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

// The loaded page in the deterministic text engine: an empty account and
// an empty mirror, so the values do not follow the machine.
TEST_F(CloudSettingsScreensTest, PhoneGolden)
{
    launchWithCloud(true);
    openLoadedAccountPage();
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "cloud-account-loaded-phone-portrait"));
    tapDone();
}

} // namespace
