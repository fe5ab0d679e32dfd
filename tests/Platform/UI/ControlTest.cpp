#include "Support/UITestCase.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Exception.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/Window.h"

namespace {

using test::UITestCase;

class ControlTest : public UITestCase {
protected:
    void TearDown() override
    {
        for (auto& view : added)
            view->removeFromSuperview();
        added.clear();
        UITestCase::TearDown();
    }
    template<typename T> std::shared_ptr<T> add(std::shared_ptr<T> view)
    {
        window().addSubview(view);
        added.push_back(view);
        return view;
    }
    // Names of the control events each action saw, in order.
    void record(ui::Control& control, unsigned events = ui::Control::AllEvents)
    {
        static const std::pair<unsigned, const char*> names[] = { { ui::Control::TouchDown, "down" },
            { ui::Control::TouchDownRepeat, "repeat" }, { ui::Control::TouchDragInside, "drag inside" },
            { ui::Control::TouchDragOutside, "drag outside" }, { ui::Control::TouchDragEnter, "drag enter" },
            { ui::Control::TouchDragExit, "drag exit" }, { ui::Control::TouchUpInside, "up inside" },
            { ui::Control::TouchUpOutside, "up outside" }, { ui::Control::TouchCancel, "cancel" },
            { ui::Control::ValueChanged, "value changed" }, { ui::Control::EditingChanged, "editing changed" } };
        for (auto& [bit, name] : names)
            if (events & bit)
                control.addTarget(nullptr, name, [this, name = name](ui::Control&, const ui::Event*) { log.push_back(name); },
                    bit);
    }
    std::vector<std::shared_ptr<ui::View>> added;
    std::vector<std::string> log;
};

TEST_F(ControlTest, TrackingSendsTheTouchEvents)
{
    auto button = add(ui::Button::create(ui::Button::Type::RoundedRect, { 100, 100, 100, 40 }));
    record(*button);
    driver.tap(*button);
    EXPECT_EQ(log, (std::vector<std::string> { "down", "up inside" }));

    log.clear();
    driver.wait(1); // no repeat
    auto down = driver.touchDown({ { 150, 120 } });
    driver.touchMove({ { down[0], { 150, 200 } } }); // 40 points below: inside the tolerance
    driver.touchMove({ { down[0], { 150, 240 } } }); // 80 points below
    driver.touchUp(down);
    EXPECT_EQ(log, (std::vector<std::string> { "down", "drag inside", "drag exit", "drag outside", "up outside" }));

    log.clear();
    down = driver.touchDown({ { 150, 120 } });
    driver.touchCancel(down);
    EXPECT_EQ(log, (std::vector<std::string> { "down", "cancel" }));

    log.clear();
    button->setEnabled(false);
    driver.tap(gfx::Point { 150, 120 });
    EXPECT_TRUE(log.empty());
}

TEST_F(ControlTest, ActionsByEventBitsAndDeadTargets)
{
    auto button = ui::Button::create();
    auto target = std::make_shared<ui::Responder>();
    auto other = std::make_shared<ui::Responder>();
    int reserved = 0, dead = 0;
    button->addTarget(target, "reserved", [&](ui::Control&, const ui::Event*) { ++reserved; }, 0x40000000);
    button->addTarget(target, "pressed", [&](ui::Control&, const ui::Event*) {}, ui::Control::TouchUpInside);
    button->addTarget(other, "gone", [&](ui::Control&, const ui::Event*) { ++dead; }, ui::Control::AllEvents);
    EXPECT_THROW(button->addTarget(target, "", [](ui::Control&, const ui::Event*) {}, 1), core::Exception);

    EXPECT_EQ(button->actions(target.get(), ui::Control::AllEvents), (std::vector<std::string> { "reserved", "pressed" }));
    other.reset();
    button->sendActions(0x40000000);
    EXPECT_EQ(reserved, 1);
    EXPECT_EQ(dead, 0);
    EXPECT_EQ(button->allTargets().size(), 1u);
}

TEST_F(ControlTest, ButtonTitlesFollowTheState)
{
    auto button = ui::Button::create(ui::Button::Type::Custom, { 0, 0, 200, 44 });
    button->setTitle("Normal", ui::Control::Normal);
    EXPECT_EQ(button->titleForState(ui::Control::Highlighted), "Normal");
    button->setTitle("Pressed", ui::Control::Highlighted);
    EXPECT_EQ(button->currentTitle(), "Normal");
    button->setHighlighted(true);
    EXPECT_EQ(button->currentTitle(), "Pressed");
    EXPECT_EQ(button->titleLabel().text(), "Pressed");
    button->setHighlighted(false);

    struct Placed : ui::Button {
        gfx::Rect titleRectForContentRect(const gfx::Rect&) const override { return { 5, 6, 70, 20 }; }
    };
    auto placed = ui::View::make<Placed>({ 0, 0, 200, 44 });
    placed->setTitle("Title", ui::Control::Normal);
    placed->layoutIfNeeded();
    EXPECT_EQ(placed->titleLabel().frame(), (gfx::Rect { 5, 6, 70, 20 }));
}

TEST_F(ControlTest, ADisabledButtonFadesItsImageUnlessItHasOneForThatState)
{
    auto image = gfx::BitmapContext::create(4, 4)->makeImage();
    auto button = ui::Button::create(ui::Button::Type::Custom, { 0, 0, 44, 44 });
    button->setImage(image, ui::Control::Normal);
    EXPECT_EQ(button->imageView().alpha(), 1);
    button->setEnabled(false);
    EXPECT_EQ(button->imageView().alpha(), ui::Button::DisabledImageAlpha);
    button->setEnabled(true);
    EXPECT_EQ(button->imageView().alpha(), 1);

    button->setImage(gfx::BitmapContext::create(4, 4)->makeImage(), ui::Control::Disabled);
    button->setEnabled(false);
    EXPECT_EQ(button->imageView().alpha(), 1);

    auto plain = ui::Button::create(ui::Button::Type::Custom, { 0, 0, 44, 44 });
    plain->setImage(image, ui::Control::Normal);
    plain->setAdjustsImageWhenDisabled(false);
    plain->setEnabled(false);
    EXPECT_EQ(plain->imageView().alpha(), 1);
}

TEST_F(ControlTest, LabelMeasuresAndShrinks)
{
    auto label = ui::Label::create({ 0, 0, 100, 21 }, "Hello");
    EXPECT_EQ(label->sizeThatFits({ 0, 0 }), (gfx::Size { 43, 21 }));
    EXPECT_EQ(label->backgroundColor(), gfx::Color::white(1));
    EXPECT_FALSE(label->isUserInteractionEnabled());

    label->setText("alpha beta gamma");
    label->setNumberOfLines(0);
    EXPECT_EQ(label->sizeThatFits({ 60, 0 }), (gfx::Size { 43, 62 }));

    // 16 characters at 0.5 × size in 100 points: 12 is the largest whole size that fits.
    label->setNumberOfLines(1);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumFontSize(10);
    EXPECT_EQ(label->displayedFont().pointSize(), 12);
    label->setMinimumFontSize(14);
    EXPECT_EQ(label->displayedFont().pointSize(), 14);

    std::vector<std::string> changes;
    auto observation = label->observeText([&](const std::string&, const std::string& text) { changes.push_back(text); });
    label->setText("one");
    label->setText("one");
    label->setText(std::string("bad \xFF byte"));
    EXPECT_EQ(changes, (std::vector<std::string> { "one", "bad \xEF\xBF\xBD byte" }));
}

TEST_F(ControlTest, SwitchSliderAndSegments)
{
    auto toggle = add(ui::Switch::create({ 10, 10, 10, 10 }));
    EXPECT_EQ(toggle->frame().size, (gfx::Size { 94, 27 }));
    record(*toggle, ui::Control::ValueChanged);
    driver.toggle(*toggle);
    EXPECT_TRUE(toggle->isOn());
    toggle->setOn(false);
    EXPECT_EQ(log, (std::vector<std::string> { "value changed" }));

    log.clear();
    auto slider = add(ui::Slider::create({ 10, 100, 200, 30 }));
    record(*slider, ui::Control::ValueChanged);
    driver.slide(*slider, 0.5f, 4);
    EXPECT_NEAR(slider->value(), 0.5f, 1e-4);
    EXPECT_EQ(log.size(), 4u);
    log.clear();
    slider->setValue(0);
    slider->setContinuous(false);
    driver.slide(*slider, 0.5f, 4);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_THROW(slider->setValue(NAN), core::Exception);

    log.clear();
    auto segments = add(ui::SegmentedControl::create({ "One", "Two", "Three" }));
    segments->setFrame({ 10, 200, 300, 44 });
    record(*segments, ui::Control::ValueChanged);
    driver.tapSegment(*segments, 1);
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);
    EXPECT_EQ(log, (std::vector<std::string> { "value changed" }));

    segments->setEnabled(false, 2);
    driver.tapSegment(*segments, 2);
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);

    segments->setMomentary(true);
    int during = -2;
    segments->addTarget(nullptr, "momentary", [&](ui::Control& c, const ui::Event*) {
        during = static_cast<ui::SegmentedControl&>(c).selectedSegmentIndex();
    }, ui::Control::ValueChanged);
    driver.tapSegment(*segments, 0);
    EXPECT_EQ(during, 0);
    EXPECT_EQ(segments->selectedSegmentIndex(), -1);
    EXPECT_THROW(segments->setSelectedSegmentIndex(3), core::Exception);
    EXPECT_THROW(segments->setWidth(10, 7), core::Exception);
}

TEST_F(ControlTest, ProgressIndicatorAndImageView)
{
    auto progress = ui::ProgressView::create();
    progress->setProgress(-1);
    EXPECT_EQ(progress->progress(), 0);
    progress->setProgress(2);
    EXPECT_EQ(progress->progress(), 1);

    auto spinner = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::WhiteLarge);
    EXPECT_EQ(spinner->frame().size, (gfx::Size { 37, 37 }));
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    EXPECT_EQ(ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray)->frame().size, (gfx::Size { 20, 20 }));

    auto imageView = ui::ImageView::create();
    EXPECT_FALSE(imageView->isUserInteractionEnabled());
}

} // namespace

namespace {

class ImagesTest : public test::UITestCase { };

TEST_F(ImagesTest, NamedImagesPreferDoubleScaleAndAreCached)
{
    auto writePNG = [&](const std::string& name, int side) {
        auto bitmap = gfx::BitmapContext::create(side, side);
        ASSERT_TRUE(bitmap->writePNG(pathInHome("bundle/" + name)));
    };
    makeFolder("bundle");
    writePNG("Icon.png", 10);
    writePNG("Icon@2x.png", 20);
    writePNG("Plain.png", 8);
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(pathInHome("bundle")));

    auto icon = ui::Images::imageNamed("Icon");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->scale(), 2);
    EXPECT_EQ(icon->size(), (gfx::Size { 10, 10 }));
    EXPECT_EQ(ui::Images::imageNamed("Icon.png"), ui::Images::imageNamed("Icon.png"));
    EXPECT_EQ(ui::Images::imageNamed("Plain")->scale(), 1);
    EXPECT_FALSE(ui::Images::imageNamed("Missing"));
    EXPECT_FALSE(ui::Images::imageNamed("../bundle/Icon"));

    auto view = ui::ImageView::create(icon);
    EXPECT_EQ(view->frame().size, (gfx::Size { 10, 10 }));
    ui::StretchableImage stretchable(icon, 4, 3);
    auto button = ui::Button::create();
    button->setBackgroundImage(stretchable, ui::Control::Normal);
    EXPECT_EQ(button->backgroundImageForState(ui::Control::Highlighted).leftCapWidth, 4);
    EXPECT_EQ(button->sizeThatFits({}), (gfx::Size { 10, 10 }));
}

} // namespace
