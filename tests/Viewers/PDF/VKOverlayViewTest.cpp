#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include "Platform/Graphics/BitmapContext.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Layer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"
#include "Viewers/PDF/VKOverlayView.h"

#include <cmath>

namespace {

class VKOverlayViewTest : public test::UITestCase {
protected:
    std::shared_ptr<VKOverlayView> overlay(const gfx::Rect& frame)
    {
        auto view = VKOverlayView::create(frame);
        window().addSubview(view);
        views.push_back(view);
        return view;
    }
    void TearDown() override
    {
        for (auto& view : views)
            view->removeFromSuperview();
        views.clear();
        UITestCase::TearDown();
    }
    std::vector<std::shared_ptr<VKOverlayView>> views;
};

TEST_F(VKOverlayViewTest, TheImageIsThreeQuartersOfThePowerOfTwoInTheShorterSide)
{
    EXPECT_EQ(VKOverlayView::imageLengthForScreen({ 320, 480 }, 1), 192);
    EXPECT_EQ(VKOverlayView::imageLengthForScreen({ 320, 480 }, 2), 384);
    EXPECT_EQ(VKOverlayView::imageLengthForScreen({ 768, 1024 }, 1), 384);
    EXPECT_EQ(VKOverlayView::imageLengthForScreen({ 1024, 768 }, 2), 768);
    EXPECT_EQ(VKOverlayView::imageLengthForScreen({ 0, 0 }, 1), 0);

    // A 192-point square on the phone at either scale.
    for (float scale : { 1.0f, 2.0f }) {
        test::useDeviceScreen(window(), test::DeviceScreen { "phone", { 320, 480 }, scale, false });
        auto view = overlay({ 0, 0, 320, 460 });
        EXPECT_EQ(view->imageView().bounds().size, gfx::Size(192, 192)) << scale;
        EXPECT_EQ(VKOverlayView::imageLength(), 192 * scale);
    }
}

TEST_F(VKOverlayViewTest, ADimmedPanelOfWhiteCentredLabelsThatTakesNoTouches)
{
    auto view = overlay({ 0, 0, 320, 460 });
    EXPECT_EQ(view->backgroundColor(), gfx::Color::white(0, 0.8f));
    EXPECT_FALSE(view->isUserInteractionEnabled());
    for (ui::Label* label : { &view->upperLabel(), &view->lowerLabel() }) {
        EXPECT_EQ(label->textColor(), gfx::Color::white(1));
        EXPECT_EQ(label->font(), ui::Fonts::boldSystemFont(17));
        EXPECT_EQ(label->textAlignment(), gfx::TextAlignment::Center);
    }
    EXPECT_GT(view->labelHeight(), 0);
    EXPECT_EQ(view->upperText(), "");
}

TEST_F(VKOverlayViewTest, TitleLinesFillWhatTheBarsLeaveAndTheBlockIsCentred)
{
    auto view = overlay({ 0, 0, 320, 460 });
    float L = view->labelHeight();
    view->setToolbarInsets({ 64, 0, 44, 0 });
    view->setMaxDepth(3);
    view->setUpperText("Page 12 of 40");
    view->setLowerText("Part II\nChapter 4\nSection 4.2");
    unsigned expected = std::min(3u, unsigned(std::floor((460 - 64 - 44 - L - 8 - 192 - 8) / L)));
    EXPECT_EQ(view->availableDepth(), expected);
    view->performLayout();
    float needed = L + 8 + 192 + 8 + float(view->availableDepth()) * L;
    float top = 64 + (352 - needed) / 2;
    EXPECT_EQ(view->upperLabel().frame(), gfx::Rect(8, top, 304, L));
    EXPECT_EQ(view->imageView().frame(), gfx::Rect(64, top + L + 8, 192, 192));
    EXPECT_FLOAT_EQ(view->lowerLabel().frame().y(), top + L + 8 + 192 + 8);
    EXPECT_FALSE(view->lowerLabel().isHidden());

    // Without an outline: no title lines.
    view->setMaxDepth(0);
    view->performLayout();
    EXPECT_EQ(view->availableDepth(), 0u);
    EXPECT_EQ(view->upperLabel().frame().y(), 64 + (352 - (L + 208)) / 2);
    EXPECT_TRUE(view->lowerLabel().isHidden());

    // Too little room for the block: the label alone, centred.
    view->setMaxDepth(3);
    view->setFrame({ 0, 0, 320, 300 });
    EXPECT_EQ(view->availableDepth(), 0u) << "no huge count from a negative depth";
    view->performLayout();
    EXPECT_TRUE(view->imageView().isHidden());
    EXPECT_TRUE(view->lowerLabel().isHidden());
    EXPECT_FALSE(view->upperLabel().isHidden());
    EXPECT_FLOAT_EQ(view->upperLabel().frame().midY(), 64 + (300 - 64 - 44) / 2.0f);

    // Hidden content lays nothing out.
    view->setContentHidden(true);
    EXPECT_TRUE(view->upperLabel().isHidden());
    EXPECT_TRUE(view->imageView().isHidden());
}

TEST_F(VKOverlayViewTest, TheCheckerboardStandsInForTheImageInThePageProportions)
{
    auto view = overlay({ 0, 0, 320, 460 });
    view->setImagePlaceholderSize({ 612, 792 });
    view->performLayout();
    EXPECT_FALSE(view->placeholderLayer().isHidden());
    gfx::Rect placeholder = view->placeholderLayer().frame();
    EXPECT_FLOAT_EQ(placeholder.height(), 192);
    EXPECT_NEAR(placeholder.width(), 192 * 612 / 792.0f, 0.01);
    EXPECT_NEAR(placeholder.midX(), 96, 0.01);

    auto bitmap = gfx::BitmapContext::create(77, 100);
    auto image = bitmap->makeImage();
    view->setImage(image);
    view->performLayout();
    EXPECT_EQ(view->imageLayer().contents(), image);
    EXPECT_TRUE(view->placeholderLayer().isHidden());
    view->setImagePlaceholderSize({ 792, 612 });
    view->setImage(nullptr);
    view->performLayout();
    EXPECT_FALSE(view->placeholderLayer().isHidden());
    EXPECT_FLOAT_EQ(view->placeholderLayer().frame().width(), 192);
}

} // namespace
