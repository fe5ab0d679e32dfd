// "Passcode Lock" as a person sees it, without a passcode (all but the
// first row grey) and with one, and its entry screen over the settings:
// rendered with real text at phone size and in the tablet's form sheet,
// upright and turned, into build/screens/passcode/; the page without a
// passcode at phone size is kept as a golden.

#include "SettingsTestCase.h"

#include "App/Settings/VKPasscodeSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/VKKeychain.h"
#include "Shell/VKPasscodeController.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Support/GoldenImage.h"

#include <fmt/format.h>

namespace {

class PasscodeSettingsScreensTest : public test::SettingsTestCase {
protected:
    void shoot(const std::string& name, const test::DeviceScreen& device, ui::Orientation orientation)
    {
        std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/passcode"), fmt::format("{}-{}-{}", name, device.name, side),
            device.scale);
    }
    // The rows stand whole inside the table, the "Done" and "Cancel"
    // buttons wide enough for a finger.
    void checkPage()
    {
        auto& table = topTable();
        for (int section = 0; section < table.numberOfSections(); ++section)
            for (int row = 0; row < table.numberOfRows(section); ++row) {
                auto* cell = table.cellForRow({ section, row });
                ASSERT_TRUE(cell);
                EXPECT_GE(cell->frame().minX(), 0);
                EXPECT_LE(cell->frame().maxX(), table.bounds().width());
            }
        auto done = topPage().navigationItem().rightBarButtonItem();
        ASSERT_TRUE(done && done->view());
        EXPECT_GE(done->view()->bounds().width(), 44);
    }
    void shootAll(const test::DeviceScreen& device)
    {
        gfx::setTextEngine(gfx::makePangoTextEngine());
        launch(device);
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
                advance(1);
            }
            VKKeychain::sharedKeychain()->removeAllPasswordsForService(VKPasscodeLockService);
            openSettings();
            tapRow("Passcode Lock");
            checkPage();
            shoot("page-off", device, orientation);
            tapRow("Turn Passcode On");
            auto& page = dynamic_cast<VKPasscodeSettingsController&>(topPage());
            auto cancel = page.passcodeController()->navigationItem().rightBarButtonItem();
            ASSERT_TRUE(cancel && cancel->view());
            EXPECT_GE(cancel->view()->bounds().width(), 44);
            driver.type("1");
            shoot("page-set-entry", device, orientation);
            driver.type("234");
            advance(1);
            driver.type("1234");
            advance(1);
            checkPage();
            shoot("page-on", device, orientation);
            tapDone();
        }
        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
    }
};

TEST_F(PasscodeSettingsScreensTest, PhoneGolden)
{
    launch(test::phoneScreen);
    openSettings();
    tapRow("Passcode Lock");
    auto picture = ui::Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "passcode-page-off-phone-portrait"));
    tapDone();
}

TEST_F(PasscodeSettingsScreensTest, PhoneWithRealText)
{
    shootAll(test::phoneScreen);
}

TEST_F(PasscodeSettingsScreensTest, TabletWithRealText)
{
    shootAll(test::tabletScreen);
}

} // namespace
