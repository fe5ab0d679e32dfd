// The root list as a person sees it: with services (six of them, so that a
// phone turned sideways scrolls under the pinned "Servers" header), without
// services and for a guest; rendered with real text at phone and tablet
// size in both orientations into build/screens/folder_browser/, checked
// for whole rows and headers, and guarded by a golden at phone size.

#include "RootFolderTestCase.h"

#include "App/FolderBrowser/VKRootFolderController.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"

#include <fmt/format.h>

namespace {

class RootFolderScreensTest : public test::RootFolderTestCase {
protected:
    void showRoot(const test::DeviceScreen& device)
    {
        test::useDeviceScreen(window(), device);
        window().setRootViewController(nullptr);
        root = VKRootFolderController::create({ documents(), publicFolder() });
        root->setServices(delegate);
        navigation = VKNavigationController::create(root);
        delegate->setNavigationController(navigation);
        window().setRootViewController(navigation);
        runLoop();
    }
    void installSix()
    {
        for (const char* key : { "Archive", "Backup", "Dropbox", "Office", "Photos", "Team" })
            installService(key, std::string(key) != "Office");
    }
    // Every visible row a whole touch high, its text and icon inside it and
    // apart; every header's title whole.
    void expectTidyRows()
    {
        auto& table = root->tableView();
        table.layoutIfNeeded();
        for (auto* cell : table.visibleCells()) {
            cell->layoutIfNeeded();
            EXPECT_GE(cell->frame().height(), 44);
            auto& text = cell->textLabel();
            auto& icon = cell->imageView();
            ASSERT_TRUE(icon.image()) << text.text();
            EXPECT_LE(icon.frame().maxX(), text.frame().minX()) << text.text();
            float needed = ui::Fonts::sizeOfString(text.text(), text.font()).width;
            EXPECT_LE(needed, text.frame().width() + 0.5f) << text.text();
        }
    }
    void shoot(const std::string& name)
    {
        test::saveScreen(driver, sourcePath("build/screens/folder_browser"), name, gfx::Screen::main().scale());
    }

    std::shared_ptr<VKRootFolderController> root;
};

TEST_F(RootFolderScreensTest, GoldenOfTheRootListAtPhoneSize)
{
    installService("Dropbox", true);
    installService("Office", false);
    showRoot(test::phoneScreen);
    auto picture = ui::Renderer::renderScreenImage(ui::RenderOptions {});
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "root-list-phone-portrait"));
}

TEST_F(RootFolderScreensTest, WithAndWithoutServicesAndForAGuest)
{
    gfx::setTextEngine(gfx::makePangoTextEngine());
    for (const char* kind : { "services", "no-services", "guest" }) {
        std::string what = kind;
        if (what == "services")
            installSix();
        if (what == "guest")
            delegate->setGuestModeForTesting(true);
        for (const auto* device : { &test::phoneScreen, &test::tabletScreen }) {
            for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
                bool upright = orientation == ui::Orientation::Portrait;
                std::string suffix = fmt::format("{}-{}-{}", what, device->name, upright ? "portrait" : "landscape");
                SCOPED_TRACE(suffix);
                showRoot(*device);
                if (!upright) {
                    ASSERT_TRUE(driver.rotate(orientation));
                }
                advance(1);
                expectTidyRows();
                auto& table = root->tableView();
                EXPECT_EQ(table.numberOfSections(), what == "services" ? 2 : 1);
                shoot("root-" + suffix);
                if (what == "services" && !upright && !device->tablet) {
                    // Scrolled to the last service: "Servers" stays on top.
                    table.scrollToRow({ 1, 5 }, ui::TableView::ScrollPosition::Bottom, false);
                    advance(1);
                    table.layoutIfNeeded();
                    EXPECT_GT(table.contentOffset().y, 0);
                    auto* header = table.headerViewForTesting(1);
                    ASSERT_TRUE(header);
                    EXPECT_EQ(header->frame().minY(), table.contentOffset().y);
                    expectTidyRows();
                    shoot("root-services-scrolled-phone-landscape");
                }
                if (!upright) {
                    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
                    advance(1);
                }
            }
        }
        VKCloudServicesManager::resetForTesting();
    }
}

} // namespace
