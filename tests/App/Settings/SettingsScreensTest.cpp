// The settings as a person sees them: the root page (at its top and
// scrolled to the version row), "Remote Access" with the server's address
// under it, "Authentication", "Disk Quota", "Sort Order", an editable list
// in edit mode and its item editor, and the rebuild question. Rendered with
// real text at phone size and in the tablet's form sheet, upright and
// turned, into build/screens/settings/; four phone pictures in the
// deterministic text engine are kept as goldens.

#include "App/Settings/VKTextEncodingsController.h"
#include "SettingsTestCase.h"

#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKEditableListController.h"
#include "Shell/Settings/VKEditableListItemEditingController.h"
#include "Shell/Settings/VKSortOrderSettingsController.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"

#include <fmt/format.h>

namespace {

// Character sets, as the text-encodings page will list them.
class EncodingsList : public VKEditableListController {
public:
    EncodingsList()
    {
        setTitle("Encodings");
        setPrompt("Add Encoding\u2026");
        setData(std::make_shared<Data>(Data { "UTF-8", "ISO-8859-1", "Windows-1252", "Shift_JIS", "KOI8-R" }));
    }
    std::optional<ui::IndexPath> indexPathOfCheckedCell() const override { return ui::IndexPath { 0, 0 }; }
    bool isCellCheckedAtIndexPath(ui::IndexPath path) const override { return path.row == 0; }
};

class SettingsScreensTest : public test::SettingsTestCase {
protected:
    void shoot(const std::string& name, const test::DeviceScreen& device, ui::Orientation orientation)
    {
        std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
        test::saveScreen(driver, sourcePath("build/screens/settings"), fmt::format("{}-{}-{}", name, device.name, side),
            device.scale);
    }
    void shootAll(const test::DeviceScreen& device);
};

void SettingsScreensTest::shootAll(const test::DeviceScreen& device)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    launch(device);
    for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
        if (orientation != ui::Orientation::Portrait) {
            ASSERT_TRUE(driver.rotate(orientation));
            advance(1);
        }
        auto shot = [&](const std::string& name) { shoot(name, device, orientation); };
        openSettings();
        shot("root");
        driver.scrollToRow(topTable(), { 7, 0 });
        shot("root-version");
        tapRow("Tandry v1.0.0 (1)");
        shot("rebuild-alert");
        driver.pressAlertButton("Cancel");
        advance(1);
        driver.scrollToRow(topTable(), { 0, 0 });
        tapRow("Server");
        shot("remote-access");
        tapRow("Authentication");
        driver.tap(dynamic_cast<VKTextFieldCell&>(cell("Password")).textField());
        driver.type("secret");
        advance(2);
        shot("authentication");
        tapBack();
        tapBack();
        tapRow("Disk Quota");
        shot("disk-quota");
        tapBack();
        tapRow("Sort Order");
        shot("sort-order");
        tapBack();
        auto list = std::make_shared<EncodingsList>();
        settingsNavigation().pushViewController(list, false);
        advance(1);
        list->setEditing(true, true);
        advance(1);
        shot("editable-list-editing");
        list->itemEditingController()->setValidator(VKTextEncodingsController::refusalForEncodingName);
        driver.tapRow(list->tableView(), { 0, 2 });
        advance(1);
        shot("item-editor");
        driver.type("X");
        advance(1);
        shot("item-editor-refused");
        settingsNavigation().popToRootViewController(false);
        advance(1);
        tapDone();
    }
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    advance(1);
}

// The phone's screens in the deterministic text engine, against goldens.
TEST_F(SettingsScreensTest, PhoneGoldens)
{
    launch(test::phoneScreen);
    auto expectGolden = [&](const std::string& name) {
        auto picture = ui::Renderer::renderScreenImage();
        ASSERT_TRUE(picture);
        EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), name));
    };
    openSettings();
    expectGolden("settings-root-phone-portrait");
    tapRow("Server");
    expectGolden("settings-remote-access-phone-portrait");
    tapBack();
    tapRow("Sort Order");
    expectGolden("settings-sort-order-phone-portrait");
    tapBack();
    auto list = std::make_shared<EncodingsList>();
    settingsNavigation().pushViewController(list, false);
    advance(1);
    list->setEditing(true, true);
    advance(1);
    expectGolden("settings-editable-list-editing-phone-portrait");
    settingsNavigation().popToRootViewController(false);
    advance(1);
    tapDone();
}

TEST_F(SettingsScreensTest, PhoneWithRealText)
{
    shootAll(test::phoneScreen);
}

TEST_F(SettingsScreensTest, TabletWithRealText)
{
    shootAll(test::tabletScreen);
}

} // namespace
