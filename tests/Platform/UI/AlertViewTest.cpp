#include "Support/UITestCase.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <fmt/format.h>

namespace {

using test::UITestCase;
class AlertViewTest : public UITestCase { };

// Both delegates write one log, the index beside each call.
struct Recorder : ui::AlertViewDelegate, ui::ActionSheetDelegate {
    std::vector<std::string> log;
    std::function<void(int)> onClick;
    void clickedButton(ui::AlertView&, int i) override { record("clicked", i); }
    void willPresent(ui::AlertView&) override { log.push_back("willPresent"); }
    void didPresent(ui::AlertView&) override { log.push_back("didPresent"); }
    void willDismiss(ui::AlertView&, int i) override { record("willDismiss", i); }
    void didDismiss(ui::AlertView& alert, int i) override { record(fmt::format("didDismiss(tag {})", alert.tag()), i); }
    void clickedButton(ui::ActionSheet&, int i) override { record("clicked", i); }
    void willDismiss(ui::ActionSheet& sheet, int i) override
    {
        record(sheet.superview() ? "willDismiss shown" : "willDismiss", i);
    }
    void didDismiss(ui::ActionSheet& sheet, int i) override
    {
        record(sheet.superview() ? "didDismiss shown" : "didDismiss", i);
    }
    void record(const std::string& what, int i)
    {
        log.push_back(fmt::format("{}({})", what, i));
        if (what == "clicked" && onClick)
            onClick(i);
    }
};

TEST_F(AlertViewTest, ShowLayoutTapAndWindows)
{
    auto recorder = std::make_shared<Recorder>();
    auto alert = ui::AlertView::create("T", "M", recorder, "Cancel", { "OK" });
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
    EXPECT_EQ(alert->addButton("Later"), 2);
    EXPECT_EQ(alert->numberOfButtons(), 3);
    EXPECT_EQ(alert->buttonTitle(2), "Later");
    EXPECT_THROW(alert->buttonTitle(3), core::Exception);

    // Three buttons stack, cancel last.
    alert->show();
    auto alertWindow = ui::AlertView::alertWindowForTesting();
    ASSERT_TRUE(alertWindow);
    EXPECT_EQ(alert->superview(), alertWindow.get());
    EXPECT_TRUE(alertWindow->isKeyWindow());
    EXPECT_FALSE(alertWindow->isHidden());
    EXPECT_EQ(alertWindow->windowLevel(), ui::Window::LevelAlert);
    EXPECT_NE(std::find(application().windows().begin(), application().windows().end(), alertWindow),
        application().windows().end());
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "willPresent" }));
    advance(0.3);
    EXPECT_EQ(recorder->log.back(), "didPresent");
    alert->layoutIfNeeded();
    gfx::Rect ok = alert->button(1)->frame(), later = alert->button(2)->frame(), cancel = alert->button(0)->frame();
    EXPECT_EQ(ok.size, (gfx::Size { 262, 43 }));
    EXPECT_EQ(later.y(), ok.maxY() + 8);
    EXPECT_EQ(cancel.y(), later.maxY() + 8);
    EXPECT_EQ(alert->frame().width(), 284);
    EXPECT_EQ(alert->frame().midX(), 160);

    // Tapping "OK" goes through the whole dismissal; the key window returns.
    recorder->log.clear();
    driver.pressAlertButton("OK");
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "clicked(1)", "willDismiss(1)" }));
    EXPECT_EQ(alert->superview(), nullptr);
    EXPECT_FALSE(alert->isVisible());
    EXPECT_TRUE(window().isKeyWindow());
    EXPECT_FALSE(ui::AlertView::alertWindowForTesting());
    advance(0.2);
    EXPECT_EQ(recorder->log.back(), "didDismiss(tag 0)(1)");
}

TEST_F(AlertViewTest, TwoButtonsSideBySideAndSubclassLayout)
{
    // A subclass places a spinner above the row of buttons after the base layout.
    struct Waiting : ui::AlertView {
        std::shared_ptr<ui::View> spinner = ui::View::create({ 0, 0, 20, 20 });
        Waiting() { addSubview(spinner); }
        void layoutSubviews() override
        {
            AlertView::layoutSubviews();
            spinner->setFrame({ 132, buttonRowRect().y() - 28, 20, 20 });
        }
    };
    auto alert = std::make_shared<Waiting>();
    alert->setTitle("T");
    alert->setCancelButtonIndex(alert->addButton("Cancel"));
    alert->addButton("OK");
    alert->show();
    alert->layoutIfNeeded();
    float y = alert->buttonRowRect().y();
    EXPECT_EQ(alert->button(0)->frame(), (gfx::Rect { 11, y, 128, 43 }));
    EXPECT_EQ(alert->button(1)->frame(), (gfx::Rect { 145, y, 128, 43 }));
    EXPECT_EQ(alert->buttonRowRect(), (gfx::Rect { 11, y, 262, 43 }));
    EXPECT_EQ(alert->spinner->frame().maxY(), y - 8);
    alert->dismiss(0, false);
}

TEST_F(AlertViewTest, CodeDismissalsAreLikeTaps)
{
    auto recorder = std::make_shared<Recorder>();
    auto alert = ui::AlertView::create("T", "M", recorder, "Cancel", { "OK" });
    alert->dismiss(0, false); // hidden: nothing
    EXPECT_TRUE(recorder->log.empty());

    alert->show();
    recorder->log.clear();
    alert->setTag(7); // the caller's tag, set just before dismissing
    alert->dismiss(0, false);
    EXPECT_EQ(recorder->log,
        (std::vector<std::string> { "clicked(0)", "willDismiss(0)", "didDismiss(tag 7)(0)" }));

    // −1 is delivered as given; a delegate shows and dismisses others inside clicked.
    auto second = ui::AlertView::create("S", "", recorder, "Cancel");
    alert->show();
    recorder->log.clear();
    recorder->onClick = [&](int i) {
        if (i == -1) {
            second->show();
            alert->dismiss(5, false); // already dismissing: ignored
        } else {
            second->dismiss(i, false);
        }
    };
    alert->dismiss(-1, true);
    EXPECT_TRUE(second->isVisible());
    EXPECT_TRUE(ui::AlertView::alertWindowForTesting()->isKeyWindow());
    advance(0.2);
    EXPECT_EQ(recorder->log.back(), "didDismiss(tag 7)(-1)");
    second->dismiss(0, false);
    EXPECT_TRUE(window().isKeyWindow());
    EXPECT_THROW(driver.alert(), core::Exception);
}

TEST_F(AlertViewTest, ActionSheetFromToolbar)
{
    auto recorder = std::make_shared<Recorder>();
    auto sheet = ui::ActionSheet::create("T", recorder, "Cancel", "Delete", { "A", "B" });
    EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
    EXPECT_EQ(sheet->buttonTitle(1), "A");
    EXPECT_EQ(sheet->buttonTitle(2), "B");
    EXPECT_EQ(sheet->cancelButtonIndex(), 3);
    EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
    // The destructive button alone has a red title; moving the index moves it.
    auto titleColor = [&](int i) { return sheet->button(i)->titleColorForState(ui::Control::Normal); };
    EXPECT_EQ(titleColor(0), ui::StandardColors::destructiveButtonTitle());
    EXPECT_EQ(titleColor(1), ui::StandardColors::buttonTitle());
    sheet->setDestructiveButtonIndex(1);
    EXPECT_EQ(titleColor(0), ui::StandardColors::buttonTitle());
    EXPECT_EQ(titleColor(1), ui::StandardColors::destructiveButtonTitle());
    sheet->setDestructiveButtonIndex(0);
    EXPECT_THROW(sheet->setActionSheetStyle(ui::ActionSheet::Style(3)), core::Exception);

    auto toolbar = ui::View::create({ 0, 436, 320, 44 });
    EXPECT_THROW(sheet->showFromToolbar(*toolbar), core::Exception); // in no window
    window().addSubview(toolbar);
    sheet->showFromToolbar(*toolbar);
    EXPECT_EQ(sheet->window(), &window());
    EXPECT_EQ(sheet->anchorKind(), ui::ActionSheet::AnchorKind::Toolbar);
    sheet->layoutIfNeeded();
    EXPECT_EQ(sheet->frame().maxY(), 480);
    gfx::Rect b = sheet->button(2)->frame(), c = sheet->button(3)->frame();
    EXPECT_EQ(c.height(), 44);
    EXPECT_EQ(c.y(), b.maxY() + 16);
    // The dimming view sits right below the sheet.
    auto& subviews = window().subviews();
    ASSERT_GE(subviews.size(), 2u);
    EXPECT_EQ(subviews.back(), sheet);
    EXPECT_EQ(subviews[subviews.size() - 2]->frame(), window().bounds());

    driver.pressSheetButton("A");
    advance(0.2);
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "clicked(1)", "willDismiss shown(1)", "didDismiss(1)" }));
    EXPECT_EQ(window().subviews().size(), 1u); // the toolbar alone

    recorder->log.clear();
    sheet->showFromToolbar(*toolbar);
    sheet->dismiss(sheet->cancelButtonIndex(), false);
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "clicked(3)", "willDismiss shown(3)", "didDismiss(3)" }));
    EXPECT_THROW(driver.pressSheetButton("Nope"), core::Exception);
}

TEST_F(AlertViewTest, TabletSheetAtItsAnchor)
{
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
    window().setFrame({ 0, 0, 768, 1024 });
    auto recorder = std::make_shared<Recorder>();
    auto sheet = ui::ActionSheet::create("T", recorder, "Cancel", {}, { "A" });
    sheet->showFromRect({ 100, 100, 20, 20 }, window(), true);
    EXPECT_TRUE(sheet->isAnchored());
    EXPECT_EQ(sheet->anchorKind(), ui::ActionSheet::AnchorKind::Rect);
    sheet->layoutIfNeeded();
    EXPECT_TRUE(sheet->button(1)->isHidden());
    EXPECT_EQ(sheet->frame().y(), 120);
    // Below its anchor it points up at it, its arrow kept on the sheet.
    EXPECT_EQ(sheet->arrow(), ui::ActionSheet::Arrow::Up);
    EXPECT_FLOAT_EQ(sheet->frame().minX() + sheet->arrowX(), 110);
    EXPECT_GE(sheet->button(0)->frame().minY(), ui::ActionSheet::ArrowHeight);
    EXPECT_THROW(driver.pressSheetButton("Cancel"), core::Exception);
    driver.tapOutsideSheet();
    advance(0.2);
    EXPECT_EQ(recorder->log, (std::vector<std::string> { "clicked(1)", "willDismiss shown(1)", "didDismiss(1)" }));
}

TEST_F(AlertViewTest, LongTextsWrapAndLineBreaksMakeRoom)
{
    auto oneLine = ui::AlertView::create("Title", "Short", {}, "OK");
    oneLine->show();
    oneLine->layoutIfNeeded();
    const float single = oneLine->frame().height();
    oneLine->dismiss(0, false);

    // A message wider than the alert wraps; trailing line breaks in a title
    // count as lines (a spinner goes into that room).
    auto wrapped = ui::AlertView::create("Title",
        "A message long enough that it cannot possibly stand on one line of an alert", {}, "OK");
    wrapped->show();
    wrapped->layoutIfNeeded();
    EXPECT_GT(wrapped->frame().height(), single);
    wrapped->dismiss(0, false);
    auto roomy = ui::AlertView::create("Title\n\n", "", {}, "OK");
    roomy->show();
    roomy->layoutIfNeeded();
    EXPECT_GT(roomy->buttonRowRect().minY(), 2 * ui::Fonts::lineHeight(ui::Fonts::boldSystemFont(ui::Fonts::LabelFontSize)));
    roomy->dismiss(0, false);

    auto sheet = ui::ActionSheet::create("Delete \"A file whose name is far too long for one line of a sheet.pdf\"?", {},
        "Cancel", "Delete");
    sheet->showInView(window());
    sheet->layoutIfNeeded();
    EXPECT_GT(sheet->button(0)->frame().minY(), 2 * ui::Fonts::lineHeight(ui::Fonts::systemFont(ui::Fonts::SystemFontSize)));
    sheet->dismiss(1, false);
}

TEST_F(AlertViewTest, TabletSheetFromABarStandsAtTheBar)
{
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
    window().setFrame({ 0, 0, 768, 1024 });
    auto toolbar = ui::View::create({ 0, 980, 768, 44 });
    window().addSubview(toolbar);
    auto sheet = ui::ActionSheet::create("", {}, "Cancel", {}, { "A", "B" });
    sheet->showFromToolbar(*toolbar);
    sheet->layoutIfNeeded();
    EXPECT_TRUE(sheet->isAnchored());
    EXPECT_EQ(sheet->frame().width(), ui::ActionSheet::AnchoredWidth);
    EXPECT_FLOAT_EQ(sheet->frame().midX(), 384);
    EXPECT_EQ(sheet->frame().maxY(), 980);
    EXPECT_EQ(sheet->arrow(), ui::ActionSheet::Arrow::Down);
    EXPECT_FLOAT_EQ(sheet->arrowX(), ui::ActionSheet::AnchoredWidth / 2);
    EXPECT_TRUE(sheet->button(sheet->cancelButtonIndex())->isHidden());
    driver.tapOutsideSheet();
    advance(0.2);
    EXPECT_FALSE(sheet->isVisible());
    // Beside a choice that destroys, Cancel stays.
    auto destroying = ui::ActionSheet::create("", {}, "Cancel", "Delete");
    destroying->showFromToolbar(*toolbar);
    destroying->layoutIfNeeded();
    EXPECT_FALSE(destroying->button(destroying->cancelButtonIndex())->isHidden());
    destroying->dismiss(1, false);

    // Shown in a view, it still rises from the bottom.
    auto inView = ui::ActionSheet::create("", {}, "Cancel", {}, { "A" });
    inView->showInView(window());
    inView->layoutIfNeeded();
    EXPECT_FALSE(inView->isAnchored());
    EXPECT_EQ(inView->frame().width(), 768);
    inView->dismiss(0, false);
}

// Turns with the device.
class TurningController : public ui::ViewController {
public:
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

TEST_F(AlertViewTest, ChoicesStandUprightInATurnedInterface)
{
    window().setRootViewController(std::make_shared<TurningController>());
    ASSERT_TRUE(driver.rotate(ui::Orientation::LandscapeLeft));

    // The interface's bottom lies along the window's right edge: the sheet
    // spans the interface's width there, turned with it.
    auto sheet = ui::ActionSheet::create("T", {}, "Cancel", {}, { "A" });
    sheet->showFromToolbar(window());
    sheet->layoutIfNeeded();
    EXPECT_EQ(sheet->transform(), (gfx::AffineTransform { 0, -1, 1, 0, 0, 0 }));
    EXPECT_EQ(sheet->bounds().width(), 480);
    EXPECT_EQ(sheet->frame().maxX(), 320);
    EXPECT_EQ(sheet->frame().height(), 480);
    driver.pressSheetButton("A"); // taps reach the turned buttons

    // An alert is centred in the room beside the status bar.
    auto alert = ui::AlertView::create("T", "M", {}, "Cancel");
    alert->show();
    alert->layoutIfNeeded();
    EXPECT_EQ(alert->bounds().width(), ui::AlertView::Width);
    EXPECT_EQ(alert->frame().height(), ui::AlertView::Width);
    EXPECT_FLOAT_EQ(alert->center().y, 240);
    EXPECT_FLOAT_EQ(alert->center().x, 160 + ui::Application::StatusBarHeight / 2);

    // Turned back while shown, it stands upright again.
    ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
    alert->layoutIfNeeded();
    EXPECT_TRUE(alert->transform().isIdentity());
    EXPECT_EQ(alert->frame().width(), ui::AlertView::Width);
    EXPECT_FLOAT_EQ(alert->center().y, 240 + ui::Application::StatusBarHeight / 2);
    driver.pressAlertButton("Cancel");
    advance(1);
    window().setRootViewController(nullptr);
}

TEST_F(AlertViewTest, ManyAlertsAndSheetsLeaveNothingAlive)
{
    long views = ui::LiveObjects::views;
    for (int i = 0; i < 1000; ++i) {
        auto alert = ui::AlertView::create("T", "M", {}, "Cancel", { "OK" });
        alert->show();
        alert->dismiss(i % 2, i % 3 == 0);
        auto sheet = ui::ActionSheet::create("T", {}, "Cancel", {}, { "A" });
        sheet->showInView(window());
        sheet->dismiss(0, false);
    }
    advance(0.2);
    EXPECT_EQ(ui::LiveObjects::views, views);
}

} // namespace
