// The toolbar view of the browser's long operation: its four styles, its
// label and its layout, and a strip of the four styles guarded by a golden.

#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/InterfaceColors.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

class VKOperationProgressViewTest : public test::UITestCase {
protected:
    static std::shared_ptr<VKOperationProgressView> make(int style, std::string_view text = "Copying 3 Items")
    {
        auto view = VKOperationProgressView::create(style,
            { { 0, 0 }, VKOperationProgressView::standardSizeForToolbarItem() });
        view->setText(text);
        view->layoutIfNeeded();
        return view;
    }
    static bool isWhole(const gfx::Rect& frame)
    {
        return frame.origin.x == std::floor(frame.origin.x) && frame.origin.y == std::floor(frame.origin.y);
    }
    // The four styles stacked on a toolbar-dark background.
    std::shared_ptr<ui::View> styleStrip()
    {
        auto size = VKOperationProgressView::standardSizeForToolbarItem();
        auto strip = ui::View::make<ui::View>({ 0, 0, size.width, 4 * size.height });
        strip->setBackgroundColor(gfx::Color::rgb255(96, 108, 124));
        for (int style = 0; style < 4; ++style) {
            auto view = make(style, style < 2 ? "Copying 3 Items" : "Expanding Archive.zip");
            view->setFrame({ 0, float(style) * size.height, size.width, size.height });
            view->setProgress(0.4f);
            strip->addSubview(view);
        }
        strip->layoutIfNeeded();
        for (const auto& view : strip->subviews())
            view->layoutIfNeeded();
        return strip;
    }
};

TEST_F(VKOperationProgressViewTest, StylesPickTheIndicatorAndItsOwnStyle)
{
    EXPECT_EQ(VKOperationProgressView::viewStyleFromOperationProgressViewStyle(0), 0);
    EXPECT_EQ(VKOperationProgressView::viewStyleFromOperationProgressViewStyle(1), 1);
    EXPECT_EQ(VKOperationProgressView::viewStyleFromOperationProgressViewStyle(2), 1);
    EXPECT_EQ(VKOperationProgressView::viewStyleFromOperationProgressViewStyle(3), 2);
    EXPECT_EQ(VKOperationProgressView::viewStyleFromOperationProgressViewStyle(7), 0);

    auto bar = make(1);
    auto* progress = dynamic_cast<ui::ProgressView*>(&bar->indicator());
    ASSERT_TRUE(progress);
    EXPECT_FALSE(bar->isIndeterminate());
    EXPECT_EQ(progress->progressViewStyle(), ui::ProgressView::Style::Bar);
    bar->setProgress(0.4f);
    EXPECT_FLOAT_EQ(bar->progress(), 0.4f);
    EXPECT_FLOAT_EQ(progress->progress(), 0.4f);
    // A new style never swaps a bar for a spinner.
    bar->setStyle(3);
    EXPECT_EQ(bar->style(), 3);
    EXPECT_EQ(&bar->indicator(), progress);
    EXPECT_EQ(progress->progressViewStyle(), ui::ProgressView::Style::Default);

    for (int style : { 2, 3 }) {
        auto spinning = make(style);
        auto* spinner = dynamic_cast<ui::ActivityIndicator*>(&spinning->indicator());
        ASSERT_TRUE(spinner);
        EXPECT_TRUE(spinning->isIndeterminate());
        EXPECT_TRUE(spinner->isAnimating());
        EXPECT_EQ(spinner->activityIndicatorViewStyle(),
            style == 2 ? ui::ActivityIndicator::Style::White : ui::ActivityIndicator::Style::Gray);
        EXPECT_EQ(spinner->frame().size, (gfx::Size { 20, 20 }));
        spinning->setProgress(0.5f);
        EXPECT_EQ(spinning->progress(), 0);
        spinning->setStyle(1);
        EXPECT_EQ(&spinning->indicator(), spinner);
        EXPECT_EQ(spinner->activityIndicatorViewStyle(), ui::ActivityIndicator::Style::White);
    }
    EXPECT_FALSE(make(0)->isIndeterminate());
}

TEST_F(VKOperationProgressViewTest, TheLabelIsSmallBoldAndWhite)
{
    EXPECT_EQ(VKOperationProgressView::standardSizeForToolbarItem(), (gfx::Size { 120, 32 }));
    auto view = make(1);
    auto& label = view->label();
    EXPECT_EQ(label.font(), ui::Fonts::boldSystemFont(11));
    EXPECT_EQ(label.minimumFontSize(), 9);
    EXPECT_EQ(label.textAlignment(), gfx::TextAlignment::Center);
    EXPECT_EQ(label.textColor(), gfx::Color::white(1));
    EXPECT_EQ(label.shadowColor(), whiteTextShadowColor());
    EXPECT_FALSE(label.isOpaque());
    EXPECT_FALSE(view->isOpaque());
    EXPECT_EQ(view->text(), "Copying 3 Items");
}

TEST_F(VKOperationProgressViewTest, DeterminateLayoutPutsTheLabelAboveTheBar)
{
    auto view = make(1);
    gfx::Rect label = view->label().frame();
    gfx::Rect bar = view->indicator().frame();
    float textWidth = ui::Fonts::sizeOfString("Copying 3 Items", ui::Fonts::boldSystemFont(11)).width;
    EXPECT_EQ(label.width(), textWidth);
    EXPECT_LE(std::abs(label.origin.x + label.width() / 2 - 60), 1);
    EXPECT_GE(label.origin.y, 0);
    EXPECT_LE(label.origin.y + label.height(), 16 + 1);
    EXPECT_EQ(bar.origin.x, 0);
    EXPECT_EQ(bar.width(), 120);
    EXPECT_EQ(bar.height(), ui::ProgressView::Height);
    EXPECT_GE(bar.origin.y, 16);
    EXPECT_LE(bar.origin.y + bar.height(), 32);
    EXPECT_TRUE(isWhole(label));
    EXPECT_TRUE(isWhole(bar));

    // A text wider than the view is clipped to it.
    view->setText("Copying 1,234 Items to Another Folder Far Away");
    view->layoutIfNeeded();
    EXPECT_EQ(view->label().frame().origin.x, 0);
    EXPECT_EQ(view->label().frame().width(), 120);
}

TEST_F(VKOperationProgressViewTest, IndeterminateLayoutIsOneCentredRow)
{
    auto view = make(2, "Unzipping");
    gfx::Rect spinner = view->indicator().frame();
    gfx::Rect label = view->label().frame();
    float textWidth = ui::Fonts::sizeOfString("Unzipping", ui::Fonts::boldSystemFont(11)).width;
    EXPECT_EQ(spinner.size, (gfx::Size { 20, 20 }));
    EXPECT_EQ(label.origin.x, spinner.origin.x + 20 + VKOperationProgressView::IndicatorGap);
    EXPECT_EQ(label.width(), textWidth);
    float left = spinner.origin.x;
    float right = 120 - (label.origin.x + label.width());
    EXPECT_LE(std::abs(left - right), 1);
    EXPECT_EQ(spinner.origin.y, 6);
    EXPECT_LE(std::abs(label.origin.y + label.height() / 2 - 16), 1);
    EXPECT_TRUE(isWhole(spinner));
    EXPECT_TRUE(isWhole(label));

    // A long text leaves the spinner and the gap their room.
    view->setText("Expanding A Very Long Archive Name.zip");
    view->layoutIfNeeded();
    EXPECT_EQ(view->indicator().frame().origin.x, 0);
    EXPECT_EQ(view->label().frame().width(), 120 - 20 - VKOperationProgressView::IndicatorGap);
}

TEST_F(VKOperationProgressViewTest, SizeThatFitsTakesTheTextAndTheSpinner)
{
    gfx::Size room { 300, 32 };
    float textWidth = ui::Fonts::sizeOfString("Unzipping", ui::Fonts::boldSystemFont(11)).width;
    EXPECT_EQ(make(1, "")->sizeThatFits(room), room);
    EXPECT_EQ(make(1, "Unzipping")->sizeThatFits(room), (gfx::Size { textWidth, 32 }));
    EXPECT_EQ(make(3, "Unzipping")->sizeThatFits(room), (gfx::Size { textWidth + 25, 32 }));
    EXPECT_EQ(make(3, "Unzipping")->sizeThatFits({ 40, 20 }), (gfx::Size { 40, 20 }));
}

TEST_F(VKOperationProgressViewTest, StyleStripGolden)
{
    auto strip = styleStrip();
    auto image = ui::Renderer::renderImage(*strip);
    ASSERT_TRUE(image);
    EXPECT_TRUE(test::matchesGolden(*image, sourcePath(""), "operation-progress-styles"));

    // With real text, for looking at.
    gfx::setTextEngine(gfx::makePangoTextEngine());
    auto real = styleStrip();
    ui::RenderOptions options;
    options.scale = 2;
    auto picture = ui::Renderer::renderImage(*real, options);
    ASSERT_TRUE(picture);
    core::fs::createDirectory(sourcePath("build/screens/folder_browser"), true);
    EXPECT_TRUE(picture->writePNG(sourcePath("build/screens/folder_browser/operation-progress-styles.png")));
    gfx::setTextEngine(nullptr);
}

} // namespace
