#include "Shell/Interface/ActionSheetAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/VKActionButton.h"
#include "Shell/Interface/VKRepeatButton.h"
#include "Shell/Interface/ViewControllerAdditions.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <vector>

using ui::ActionSheet;

namespace {

class ActionSheetTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        test::UITestCase::TearDown();
    }

    // A navigation controller over `content` as the window's root.
    std::shared_ptr<ui::NavigationController> showInNavigation(const std::shared_ptr<ui::ViewController>& content,
        bool toolbar)
    {
        auto navigation = ui::NavigationController::create(content);
        navigation->setToolbarHidden(!toolbar);
        window().setRootViewController(navigation);
        runLoop();
        return navigation;
    }
};

// Records what its sheets tell it, as tags.
class TagRecorder : public ui::ActionSheetDelegate {
public:
    void clickedButton(ActionSheet& sheet, int index) override
    {
        clicked.push_back(static_cast<VKActionSheet&>(sheet).tagForButtonAtIndex(index));
    }
    void didDismiss(ActionSheet&, int index) override { dismissed.push_back(index); }
    std::vector<int> clicked;
    std::vector<int> dismissed;
};

TEST_F(ActionSheetTest, ButtonsCarryTheirTags)
{
    auto sheet = VKActionSheet::create("File");
    EXPECT_EQ(sheet->addButtonWithTitle("Email File", 1001), 0);
    EXPECT_EQ(sheet->addButtonWithTitle("Print", 1012), 1);
    sheet->setCancelButtonIndex(sheet->addButton("Cancel"));
    EXPECT_EQ(sheet->tagForButtonAtIndex(0), 1001);
    EXPECT_EQ(sheet->tagForButtonAtIndex(1), 1012);
    for (int index : { 2, 3, -1 })
        EXPECT_EQ(sheet->tagForButtonAtIndex(index), VKActionSheet::UntaggedButton);

    // Buttons given at creation carry none.
    auto made = VKActionSheet::create("Delete?", {}, std::string("Cancel"), std::string("Delete"), { "Keep" });
    ASSERT_EQ(made->numberOfButtons(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(made->tagForButtonAtIndex(i), VKActionSheet::UntaggedButton);
    EXPECT_EQ(made->addButtonWithTitle("Later", 7), 3);
    EXPECT_EQ(made->tagForButtonAtIndex(3), 7);

    EXPECT_TRUE(made->userInfo().isNull());
    made->setUserInfo(core::Value("Report.pdf"));
    EXPECT_EQ(made->userInfo(), core::Value("Report.pdf"));
}

TEST_F(ActionSheetTest, OwnerMapsThePressedButtonToItsTag)
{
    auto content = ui::ViewController::create();
    showInNavigation(content, true);
    auto recorder = std::make_shared<TagRecorder>();
    auto sheet = VKActionSheet::create("", recorder);
    sheet->addButtonWithTitle("Email File", 1001);
    sheet->addButtonWithTitle("Print", 1012);
    sheet->setCancelButtonIndex(sheet->addButton("Cancel"));
    showActionSheet(*content, *sheet, nullptr);
    driver.pressSheetButton("Print");
    advance(1);
    EXPECT_EQ(recorder->clicked, std::vector<int> { 1012 });
}

TEST_F(ActionSheetTest, ShownFromTheToolbarWhileItShowsElseInTheView)
{
    auto content = ui::ViewController::create();
    auto navigation = showInNavigation(content, true);
    auto item = ui::BarButtonItem::create("Share");
    auto sheet = VKActionSheet::create("", {}, std::string("Cancel"));
    showActionSheet(*content, *sheet, item);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->anchorKind(), ActionSheet::AnchorKind::Toolbar);
    EXPECT_EQ(vk_viewControllerTag(*sheet).get(), content.get());
    sheet->dismiss(0, false);

    navigation->setToolbarHidden(true);
    runLoop();
    // The item passed plays no part in where the sheet goes.
    showActionSheet(*content, *sheet, navigation->toolbar().sharedAs<core::Object>());
    EXPECT_EQ(sheet->anchorKind(), ActionSheet::AnchorKind::View);
    sheet->dismiss(0, false);
}

TEST_F(ActionSheetTest, ASecondSheetClosesTheFirstButNotOtherControllers)
{
    auto content = ui::ViewController::create();
    showInNavigation(content, true);
    auto other = ui::ViewController::create();
    window().addSubview(other->view());

    auto recorder = std::make_shared<TagRecorder>();
    auto first = VKActionSheet::create("First", recorder, std::string("Cancel"), std::nullopt, { "One" });
    auto theirs = VKActionSheet::create("Theirs", {}, std::string("Cancel"));
    showActionSheet(*content, *first, nullptr);
    showActionSheet(*other, *theirs, nullptr);
    ASSERT_TRUE(first->isVisible());

    auto second = VKActionSheet::create("Second", {}, std::string("Cancel"));
    showActionSheet(*content, *second, nullptr);
    // Closed at once, without animation, as if cancelled.
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(recorder->dismissed, std::vector<int> { first->cancelButtonIndex() });
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(theirs->isVisible());

    dismissActiveActionSheet(*content);
    EXPECT_FALSE(second->isVisible());
    EXPECT_TRUE(theirs->isVisible());
    dismissActiveActionSheet(*other);
    EXPECT_FALSE(theirs->isVisible());
    other->view()->removeFromSuperview();
}

TEST_F(ActionSheetTest, ASheetKnowsNoStrangerAtItsControllersAddress)
{
    auto content = ui::ViewController::create();
    showInNavigation(content, false);
    auto sheet = VKActionSheet::create("Orphan", {}, std::string("Cancel"));
    {
        auto gone = ui::ViewController::create();
        window().addSubview(gone->view());
        showActionSheet(*gone, *sheet, nullptr);
        gone->view()->removeFromSuperview();
    }
    EXPECT_FALSE(vk_viewControllerTag(*sheet));
    // Whoever comes next, wherever it lives, cannot close it.
    for (int i = 0; i < 8; ++i) {
        auto stranger = ui::ViewController::create();
        window().addSubview(stranger->view());
        dismissActiveActionSheet(*stranger);
        stranger->view()->removeFromSuperview();
    }
    dismissActiveActionSheet(*content);
    EXPECT_TRUE(sheet->isVisible());
    sheet->dismiss(0, false);
}

TEST_F(ActionSheetTest, AControllerOutsideAnyWindowShowsNothing)
{
    auto loose = ui::ViewController::create();
    auto sheet = VKActionSheet::create("Nowhere", {}, std::string("Cancel"));
    EXPECT_NO_THROW(showActionSheet(*loose, *sheet, nullptr));
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_TRUE(logContains("in no window"));
    EXPECT_NO_THROW(dismissActiveActionSheet(*loose));
}

TEST_F(ActionSheetTest, ShowFromItemByWhatTheItemIs)
{
    auto toolbar = ui::Toolbar::create({ 0, 436, 320, 44 });
    auto tabBar = ui::TabBar::create({ 0, 431, 320, 49 });
    auto view = ui::View::create({ 0, 0, 320, 400 });
    for (auto& v : std::vector<std::shared_ptr<ui::View>> { view, toolbar, tabBar })
        window().addSubview(v);
    struct Case {
        std::shared_ptr<core::Object> item;
        std::optional<ActionSheet::AnchorKind> kind;
    };
    std::vector<Case> cases {
        { toolbar, ActionSheet::AnchorKind::Toolbar },
        { tabBar, ActionSheet::AnchorKind::TabBar },
        { view, ActionSheet::AnchorKind::View },
        { ui::BarButtonItem::create("Share"), std::nullopt },
        { nullptr, std::nullopt },
        { ui::View::create(), std::nullopt }, // in no window
    };
    for (auto& c : cases) {
        auto sheet = ActionSheet::create("", {}, std::string("Cancel"));
        EXPECT_EQ(showFromItem(*sheet, c.item), c.kind.has_value());
        EXPECT_EQ(sheet->isVisible(), c.kind.has_value());
        if (c.kind) {
            EXPECT_EQ(sheet->anchorKind(), *c.kind);
        }
        sheet->dismiss(0, false);
    }
    for (auto& v : std::vector<std::shared_ptr<ui::View>> { view, toolbar, tabBar })
        v->removeFromSuperview();
}

TEST_F(ActionSheetTest, RepeatedWorkLeavesNothingBehind)
{
    auto content = ui::ViewController::create();
    showInNavigation(content, true);
    auto button = VKActionButton::actionButton();
    auto repeat = VKRepeatButton::create({ 100, 100, 60, 44 });
    window().addSubview(repeat);
    runLoop();
    long views = ui::LiveObjects::views, layers = ui::LiveObjects::layers;

    for (int i = 0; i < 1000; ++i) {
        auto sheet = VKActionSheet::create("Sheet", {}, std::string("Cancel"));
        sheet->addButtonWithTitle("Email File", 1001);
        showActionSheet(*content, *sheet, nullptr);
        if (i % 2)
            dismissActiveActionSheet(*content);
        else
            driver.pressSheetButton("Cancel");
        button->setBadgeValue(std::to_string(i % 7));
        if (i % 3 == 0)
            button->setBadgeValue(std::nullopt);
    }
    for (int i = 0; i < 20; ++i) {
        auto finger = driver.touchDown({ { 130, 122 } });
        driver.wait(1.2);
        driver.touchUp(finger);
    }
    button->setBadgeValue(std::nullopt);
    advance(1);
    EXPECT_EQ(ui::LiveObjects::views, views);
    EXPECT_EQ(ui::LiveObjects::layers, layers);
    advance(10);
    EXPECT_FALSE(core::RunLoop::main().runOnce()) << core::RunLoop::main().describePendingWork();
    repeat->removeFromSuperview();
}

} // namespace
