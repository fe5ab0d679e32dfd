// The toolbar's folder and server label against a real server on a port
// the system assigns, announced through the fake publisher as
// "Tandry-Test", with a fake Wi-Fi link whose address is 10.9.0.2.

#include "FolderBrowserTestCase.h"

#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace {

class VKFolderInfoLabelTest : public test::FolderBrowserTestCase {
protected:
    void SetUp() override
    {
        FolderBrowserTestCase::SetUp();
        label = VKFolderInfoLabel::create({ 100, 100, 10, 30 });
        label->setServerState(delegate);
        window().addSubview(label);
        label->setInfo("3 Items, 1 KB");
    }
    void TearDown() override
    {
        if (toolbar)
            toolbar->removeFromSuperview();
        toolbar.reset();
        label->removeFromSuperview();
        label.reset();
        FolderBrowserTestCase::TearDown();
    }
    // The label between two buttons of a toolbar `width` points wide.
    void putInToolbar(float width)
    {
        label->removeFromSuperview();
        toolbar = ui::Toolbar::create({ 0, 436, width, 44 });
        toolbar->setItems({ ui::BarButtonItem::create("Edit"), ui::BarButtonItem::space(), ui::BarButtonItem::create(label),
            ui::BarButtonItem::space(), ui::BarButtonItem::create("Sort") });
        window().addSubview(toolbar);
        toolbar->layoutIfNeeded();
    }
    std::vector<std::string> tapThrough(int taps)
    {
        std::vector<std::string> texts { label->text() };
        for (int i = 0; i < taps; ++i) {
            driver.tap(*label);
            texts.push_back(label->text());
        }
        return texts;
    }

    std::shared_ptr<VKFolderInfoLabel> label;
    std::shared_ptr<ui::Toolbar> toolbar;
};

TEST_F(VKFolderInfoLabelTest, ANewLabelShowsTheSummary)
{
    EXPECT_EQ(label->state(), 0);
    EXPECT_TRUE(label->touchesCycleState());
    EXPECT_TRUE(label->isUserInteractionEnabled());
    EXPECT_EQ(label->font(), ui::Fonts::systemFont(14));
    EXPECT_EQ(label->textAlignment(), gfx::TextAlignment::Center);
    EXPECT_EQ(label->lineBreakMode(), gfx::LineBreakMode::MiddleTruncation);
    EXPECT_EQ(label->numberOfLines(), 2);
    EXPECT_EQ(label->text(), "3 Items, 1 KB");
    // Sized to fit, never below the size it had.
    EXPECT_EQ(label->frame().width(), ui::Fonts::sizeOfString("3 Items, 1 KB", label->font()).width);
    EXPECT_EQ(label->frame().height(), 30);

    // The status bar turning sets the size of the font.
    auto turn = [](ui::Orientation orientation) {
        core::NotificationCenter::defaultCenter().post(ui::Application::willChangeStatusBarOrientationNotification,
            nullptr, { orientation });
    };
    turn(ui::Orientation::LandscapeRight);
    EXPECT_EQ(label->font().pointSize(), 13);
    turn(ui::Orientation::PortraitUpsideDown);
    EXPECT_EQ(label->font().pointSize(), 14);
}

TEST_F(VKFolderInfoLabelTest, TapsCycleThroughTheAddresses)
{
    ASSERT_TRUE(server->bonjourURL());
    EXPECT_EQ(tapThrough(3), (std::vector<std::string> { "3 Items, 1 KB", hostAddress(), announcedAddress(), "3 Items, 1 KB" }));

    // Withdrawn, the announcement is left out of the cycle.
    withdrawAnnouncement();
    EXPECT_FALSE(server->bonjourURL());
    EXPECT_EQ(tapThrough(2), (std::vector<std::string> { "3 Items, 1 KB", hostAddress(), "3 Items, 1 KB" }));

    // A new summary shows at once in state 0 only.
    driver.tap(*label);
    label->setInfo("4 Items, 2 KB");
    EXPECT_EQ(label->text(), hostAddress());
    driver.tap(*label);
    EXPECT_EQ(label->text(), "4 Items, 2 KB");

    // Cycling off: taps do nothing (the label takes none).
    label->setTouchesCycleState(false);
    EXPECT_FALSE(label->isUserInteractionEnabled());
    driver.tap(driver.centerOnScreen(*label));
    EXPECT_EQ(label->state(), 0);
}

TEST_F(VKFolderInfoLabelTest, FollowsTheServerAndTheNetworkWithoutATap)
{
    server->stopListeningAndDisconnectActiveConnections(true);
    EXPECT_EQ(tapThrough(2), (std::vector<std::string> { "3 Items, 1 KB", "Server Stopped", "3 Items, 1 KB" }));

    ASSERT_TRUE(server->startListening());
    runLoop();
    driver.tap(*label);
    EXPECT_EQ(label->text(), hostAddress());
    wifi().fire(0);
    runLoop();
    EXPECT_EQ(label->text(), "No WiFi Connection");
    wifi().fire(WiFi);
    runLoop();
    EXPECT_EQ(label->text(), hostAddress());
    server->stopListeningAndDisconnectActiveConnections(true);
    EXPECT_EQ(label->text(), "Server Stopped");
    ASSERT_TRUE(server->startListening());
    EXPECT_EQ(label->text(), hostAddress());

    // No address on the network.
    server->setHostName("");
    label->setState(1);
    EXPECT_EQ(label->text(), "No Network Detected");
    runLoop();
    label->setState(2);
    EXPECT_EQ(label->text(), announcedAddress());
    withdrawAnnouncement();
    EXPECT_EQ(label->text(), "No Network Detected");
}

TEST_F(VKFolderInfoLabelTest, OnTheDefaultPortShowsURLsAndShortensTheAnnouncedOne)
{
    server->setPort(80); // as if bound to 80
    label->setState(1);
    EXPECT_EQ(label->text(), "http://10.9.0.2");
    label->setState(2);
    EXPECT_EQ(label->text(), "http://Tandry-Test.local");

    // Where the whole URL does not fit between the neighbours, the host.
    putInToolbar(320);
    float room = label->maximumWidth();
    auto edit = toolbar->subviews().front()->frame(), sort = toolbar->subviews().back()->frame();
    EXPECT_EQ(room, sort.minX() - edit.maxX() - 10);
    label->setState(2);
    float wide = ui::Fonts::sizeOfString("http://Tandry-Test.local", label->font()).width;
    ASSERT_LT(wide, room); // fits at 320 points
    EXPECT_EQ(label->text(), "http://Tandry-Test.local");
    toolbar->setFrame({ 0, 436, wide + (320 - room) - 20, 44 });
    toolbar->layoutIfNeeded();
    label->setState(2);
    EXPECT_EQ(label->text(), "Tandry-Test.local");
}

TEST_F(VKFolderInfoLabelTest, BothAddressesOnTwoLines)
{
    label->setTouchesCycleState(false);
    label->setState(3);
    EXPECT_EQ(label->text(), hostAddress() + "\n" + announcedAddress());
    gfx::Size line = ui::Fonts::sizeOfString(announcedAddress(), label->font());
    EXPECT_EQ(label->frame().size, (gfx::Size { line.width, 2 * line.height }));
    EXPECT_EQ(label->displayedLinesForTesting(), (std::vector<std::string> { hostAddress(), announcedAddress() }));

    server->setHostName("");
    label->setState(3);
    EXPECT_EQ(label->text(), announcedAddress());
    withdrawAnnouncement();
    EXPECT_EQ(label->text(), "");
    server->setHostName("10.9.0.2");
    label->setState(3);
    EXPECT_EQ(label->text(), hostAddress());

    // Empty lines count for nothing; the size offered is the least.
    label->setText("\nabc\n\n");
    EXPECT_EQ(label->sizeThatFits({ 0, 0 }), ui::Fonts::sizeOfString("abc", label->font()));
    EXPECT_EQ(label->sizeThatFits({ 500, 100 }), (gfx::Size { 500, 100 }));
}

TEST_F(VKFolderInfoLabelTest, HostileHostNamesArePlainTextCutToTheirRoom)
{
    putInToolbar(320);
    for (const std::string& name : std::vector<std::string> { "<i>evil</i>\n\x01\x1b[2J", "a\x01\x7f" "b", std::string(300, 'w') }) {
        server->setHostName(name);
        label->setState(1);
        std::string text = label->text();
        for (unsigned char c : text)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << int(c);
        toolbar->layoutIfNeeded();
        EXPECT_LE(label->frame().width(), label->maximumWidth());
        EXPECT_GE(label->frame().minX(), toolbar->subviews().front()->frame().maxX());
        EXPECT_LE(label->frame().maxX(), toolbar->subviews().back()->frame().minX());
    }
    // The long one is cut in the middle: its port still shows.
    auto lines = label->displayedLinesForTesting();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\u2026"), std::string::npos);
    EXPECT_TRUE(lines[0].ends_with(fmt::format("w:{}", server->port())));
}

} // namespace
