// The browser's bar, its address field and bar buttons on their own: the
// layout in numbers (deterministic text engine), editing steps told to the
// delegate, search mode, the stop / reload button and the touch areas.

#include "WebBrowserTestCase.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Window.h"
#include "WebBrowser/VKBarButton.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebNavigationView.h"

namespace {

class FieldRecorder : public VKWebNavigationViewDelegate {
public:
    void navigationFieldDidBeginEditing(ui::TextField&, bool isSearch) override { events.push_back(std::string("begin ") + (isSearch ? "search" : "address")); }
    void navigationFieldWillChangeText(ui::TextField&, const std::string& text, bool) override { events.push_back("change " + text); }
    void navigationFieldDidAcceptEditing(ui::TextField& field, bool) override
    {
        events.push_back(std::string("accept ") + (field.isFirstResponder() ? "editing" : "ended"));
    }
    void navigationFieldDidEndEditing(ui::TextField&) override { events.push_back("end"); }
    std::vector<std::string> events;
};

class VKWebNavigationViewTest : public test::WebBrowserTestCase {
protected:
    void SetUp() override
    {
        WebBrowserTestCase::SetUp();
        holder = ui::View::create({ 0, 20, 320, 200 });
        window().addSubview(holder);
        bar = VKWebNavigationView::create({ 0, 0, 100, 10 });
        holder->addSubview(bar);
        bar->setFrame({ 0, 0, 100, 10 });
        bar->setDelegate(recorder);
        bar->layoutIfNeeded();
    }
    void TearDown() override
    {
        holder->removeFromSuperview();
        bar.reset();
        holder.reset();
        WebBrowserTestCase::TearDown();
    }

    std::shared_ptr<ui::View> holder;
    std::shared_ptr<VKWebNavigationView> bar;
    std::shared_ptr<FieldRecorder> recorder = std::make_shared<FieldRecorder>();
};

TEST_F(VKWebNavigationViewTest, TheBarLaysOutTitleCloseFieldAndSearchOnTheSuperviewsWidth)
{
    EXPECT_EQ(bar->frame(), gfx::Rect(0, 0, 320, 10)) << "the width is the superview's";
    EXPECT_EQ(bar->sizeThatFits({ 50, 50 }), gfx::Size(320, 60));
    bar->sizeToFit();
    bar->layoutIfNeeded();
    EXPECT_EQ(bar->frame().height(), 60);

    auto& close = bar->closeButton();
    EXPECT_EQ(close.currentTitle(), "Close");
    EXPECT_EQ(ui::Fonts::sizeOfString("Close", ui::Fonts::boldSystemFont(12)).width, 33);
    EXPECT_EQ(close.frame().width(), 49);
    EXPECT_EQ(close.frame().x(), 4);
    auto& search = bar->searchButton();
    float searchWidth = search.frame().width();
    EXPECT_EQ(search.frame().maxX(), 316);
    auto& field = bar->locationField();
    EXPECT_EQ(field.frame().x(), 61);
    EXPECT_EQ(field.frame().width(), 296 - 49 - searchWidth - 8 + 8);
    // Buttons centre on the field.
    EXPECT_NEAR(close.frame().midY(), field.frame().midY(), 0.5);
    EXPECT_NEAR(search.frame().midY(), field.frame().midY(), 0.5);

    // The title: bold 13 in its colours, centred when narrower, "Untitled"
    // measured when empty but not shown.
    auto& title = bar->titleLabel();
    EXPECT_EQ(title.font(), ui::Fonts::boldSystemFont(13));
    EXPECT_EQ(title.textColor(), gfx::Color::rgb255(62, 73, 83));
    EXPECT_EQ(title.shadowColor(), gfx::Color::rgb255(192, 204, 217));
    EXPECT_EQ(title.shadowOffset(), gfx::Size(0, 1));
    EXPECT_EQ(title.text(), "");
    float untitled = ui::Fonts::sizeOfString("Untitled", title.font()).width;
    EXPECT_EQ(title.frame().width(), untitled);
    EXPECT_EQ(title.frame().y(), 3);
    title.setText("Short");
    float shortWidth = ui::Fonts::sizeOfString("Short", title.font()).width;
    EXPECT_EQ(title.frame().x(), 4 + std::floor((312 - shortWidth) / 2)) << "a change of the text lays out at once";
    title.setText(std::string(300, 'W'));
    EXPECT_EQ(title.frame(), gfx::Rect(4, 3, 312, title.frame().height()));

    // The padlock: 8 points left of the title, clear of it, the two centred
    // together; a long title leaves room for it.
    EXPECT_FALSE(bar->isSecure());
    bar->setSecure(true);
    bar->layoutIfNeeded();
    auto* padlock = bar->securityIconView();
    ASSERT_TRUE(padlock);
    EXPECT_EQ(padlock->image(), ui::Images::imageNamed("BrowserPadlock.png"));
    EXPECT_EQ(padlock->frame().x(), 4);
    EXPECT_EQ(padlock->frame().maxX() + 8, title.frame().x());
    EXPECT_EQ(title.frame().maxX(), 316);
    title.setText("Short");
    EXPECT_EQ(padlock->frame().maxX() + 8, title.frame().x());
    EXPECT_NEAR(padlock->frame().x() - 4, 316 - title.frame().maxX(), 1);
    bar->setSecure(false);
    EXPECT_FALSE(bar->isSecure());
    bar->setSecure(true);
    EXPECT_EQ(bar->securityIconView(), padlock) << "made once";

    // layoutSubview: left-aligned moves the band on, right-aligned only
    // shrinks it; both centre on the field's height.
    auto probe = ui::View::create({ 0, 0, 20, 11 });
    gfx::Rect band { 10, 30, 200, 31 };
    bar->layoutSubview(*probe, band, 8, false);
    EXPECT_EQ(probe->frame(), gfx::Rect(10, 40, 20, 11));
    EXPECT_EQ(band, gfx::Rect(38, 30, 172, 31));
    bar->layoutSubview(*probe, band, 8, true);
    EXPECT_EQ(probe->frame(), gfx::Rect(190, 40, 20, 11));
    EXPECT_EQ(band, gfx::Rect(38, 30, 144, 31));
}

TEST_F(VKWebNavigationViewTest, BarButtonsFitTheirTitleAndBackground)
{
    auto plain = VKBarButton::buttonWithStyle(VKBarButton::Default);
    auto done = VKBarButton::buttonWithStyle(VKBarButton::Done);
    auto none = VKBarButton::buttonWithStyle(7);
    EXPECT_EQ(VKBarButton::titleEdgeInsets(), gfx::EdgeInsets(0, 8, 0, 8));
    auto background = [](const VKBarButton& button, unsigned state) { return button.backgroundImageForState(state); };
    EXPECT_EQ(background(*plain, ui::Control::Normal).image, ui::Images::imageNamed("VKBarButtonDefaultButton.png"));
    EXPECT_EQ(background(*plain, ui::Control::Selected).image, ui::Images::imageNamed("VKBarButtonDefaultButtonPressed.png"));
    EXPECT_EQ(background(*done, ui::Control::Normal).image, ui::Images::imageNamed("VKBarButtonDoneButton.png"));
    EXPECT_EQ(background(*done, ui::Control::Selected).image, ui::Images::imageNamed("VKBarButtonDoneButtonPressed.png"));
    EXPECT_EQ(background(*done, ui::Control::Normal).leftCapWidth, 5);
    EXPECT_EQ(background(*done, ui::Control::Normal).topCapHeight, 0);
    EXPECT_FALSE(background(*none, ui::Control::Normal));
    plain->setTitle("Cancel", ui::Control::Normal);
    float height = ui::Images::imageNamed("VKBarButtonDefaultButton.png")->size().height;
    EXPECT_EQ(plain->sizeThatFits({}),
        gfx::Size(ui::Fonts::sizeOfString("Cancel", ui::Fonts::boldSystemFont(12)).width + 16, height));
}

TEST_F(VKWebNavigationViewTest, EditingSwapsCloseAndSearchForCancelAndTellsEveryStep)
{
    bar->sizeToFit();
    bar->layoutIfNeeded();
    auto& field = bar->locationField();
    field.setReloadEnabled(true);
    field.setURL(url("https://localhost:4433/a?b=1"));
    EXPECT_EQ(field.text(), "localhost:4433/a?b=1");
    gfx::Rect close = bar->closeButton().frame();

    driver.tap(field);
    runLoop();
    auto* cancel = bar->cancelButton();
    ASSERT_TRUE(cancel);
    EXPECT_EQ(cancel->currentTitle(), "Cancel");
    EXPECT_EQ(cancel->frame().x(), 4) << "Cancel takes Close's place at the row's left end";
    EXPECT_EQ(cancel->frame().y(), close.y());
    EXPECT_EQ(cancel->alpha(), 1);
    EXPECT_EQ(bar->closeButton().alpha(), 0);
    EXPECT_EQ(bar->searchButton().alpha(), 0);
    EXPECT_EQ(field.frame().x(), cancel->frame().maxX() + 8);
    EXPECT_EQ(field.frame().maxX(), 316);
    EXPECT_FALSE(field.rightView()) << "no stop or reload while the address is edited";
    EXPECT_EQ(field.textColor(), gfx::Color::white(0));
    EXPECT_EQ(field.text(), "localhost:4433/a?b=1") << "setURL does not touch the text while editing";
    field.setURL(url("http://other.example/"));
    EXPECT_EQ(field.text(), "localhost:4433/a?b=1");

    driver.type("x");
    driver.clear(field);
    driver.type("ab");
    driver.pressReturn();
    runLoop();
    EXPECT_EQ(recorder->events, (std::vector<std::string> { "begin address", "change localhost:4433/a?b=1x", "change ",
                                    "change a", "change ab", "accept editing", "end" }));
    EXPECT_FALSE(bar->cancelButton());
    EXPECT_EQ(bar->closeButton().alpha(), 1);
    EXPECT_EQ(bar->searchButton().alpha(), 1);
    EXPECT_TRUE(field.rightView());
    EXPECT_NE(field.textColor(), gfx::Color::white(0));
    runLoop();
    advance(1);
    EXPECT_EQ(holder->findViews<VKBarButton>().size(), 1u) << "Cancel is removed once it faded";

    // Search mode and back; Cancel resigns whichever field has the keyboard.
    recorder->events.clear();
    driver.tap(bar->searchButton());
    runLoop();
    EXPECT_TRUE(bar->isSearching());
    EXPECT_TRUE(bar->textFieldIsSearchField(field));
    EXPECT_EQ(&bar->searchField(), static_cast<ui::TextField*>(&field));
    EXPECT_EQ(recorder->events, (std::vector<std::string> { "begin search" }));
    driver.tap(*bar->cancelButton());
    runLoop();
    EXPECT_FALSE(bar->isSearching());
    EXPECT_EQ(field.returnKeyType(), ui::TextInput::ReturnKeyType::Go);
    EXPECT_EQ(field.keyboardType(), ui::TextInput::KeyboardType::URL);
    EXPECT_EQ(field.placeholder(), "");
    EXPECT_FALSE(bar->textFieldIsSearchField(field));
}

TEST_F(VKWebNavigationViewTest, TheStopAndReloadButtonSendsOneEventAndTouchesReachButtonsAroundThem)
{
    bar->sizeToFit();
    bar->layoutIfNeeded();
    auto& field = bar->locationField();
    std::vector<std::string> sent;
    auto target = std::make_shared<core::Object>();
    field.addTarget(target, "stop", [&](ui::Control&, const ui::Event*) { sent.push_back("stop"); }, VKWebLocationField::StopEvent);
    field.addTarget(target, "reload", [&](ui::Control&, const ui::Event*) { sent.push_back("reload"); }, VKWebLocationField::ReloadEvent);

    EXPECT_FALSE(field.rightView()) << "nothing until reload is on or a load starts";
    bar->setLoading(true);
    EXPECT_TRUE(bar->isLoading());
    ASSERT_TRUE(field.rightView());
    EXPECT_EQ(field.rightButton().imageForState(ui::Control::Normal), ui::Images::imageNamed("VKTextFieldControlStop.png"));
    driver.tap(field.rightButton());
    field.setReloadEnabled(true);
    driver.tap(field.rightButton());
    bar->setLoading(false);
    EXPECT_EQ(field.rightButton().imageForState(ui::Control::Normal), ui::Images::imageNamed("VKTextFieldControlRefresh.png"));
    driver.tap(field.rightButton());
    EXPECT_EQ(sent, (std::vector<std::string> { "stop", "stop", "reload" }));
    field.setReloadEnabled(false);
    EXPECT_FALSE(field.rightView());

    // Every button answers over at least 44 × 44 points around its middle.
    field.setReloadEnabled(true);
    bar->layoutIfNeeded();
    for (ui::View* button : { static_cast<ui::View*>(&bar->closeButton()), static_cast<ui::View*>(&bar->searchButton()),
             static_cast<ui::View*>(field.rightView().get()) }) {
        gfx::Rect frame = button->superview()->convertRect(button->frame(), bar.get());
        EXPECT_LT(std::min(frame.width(), frame.height()), 44);
        for (gfx::Point point : { gfx::Point { frame.midX(), frame.midY() - 21 }, gfx::Point { frame.midX() - 21, frame.midY() },
                 gfx::Point { frame.midX() + 21, frame.midY() + 21 } })
            if (bar->bounds().contains(point)) {
                EXPECT_EQ(bar->hitTest(point), button) << button->debugText() << " at " << point.x << ", " << point.y;
            }
    }
}

} // namespace
