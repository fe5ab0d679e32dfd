#include "Shell/Interface/VKPlaceholderView.h"

#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/LiveObjects.h"
#include "Platform/UI/ProgressView.h"
#include "Support/UITestCase.h"

namespace {

class PlaceholderViewTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        placeholder = VKPlaceholderView::create({ 0, 0, 320, 460 });
        window().addSubview(placeholder);
    }
    void TearDown() override
    {
        placeholder.reset();
        UITestCase::TearDown();
    }
    std::shared_ptr<VKPlaceholderView> placeholder;
};

TEST_F(PlaceholderViewTest, PiecesComeAndGoOnce)
{
    EXPECT_TRUE(placeholder->isOpaque());
    EXPECT_EQ(placeholder->autoresizingMask(), unsigned(ui::View::FlexibleWidth | ui::View::FlexibleHeight));
    EXPECT_TRUE(placeholder->isLabelHidden());
    EXPECT_TRUE(placeholder->isProgressViewHidden());
    EXPECT_TRUE(placeholder->isCancelButtonHidden());
    // Hiding what was never shown does nothing.
    placeholder->setLabelHidden(true);
    placeholder->setProgressViewHidden(true);
    placeholder->setCancelButtonHidden(true);
    EXPECT_TRUE(placeholder->subviews().empty());

    placeholder->setLabelHidden(false);
    ui::Label* label = placeholder->label();
    placeholder->setLabelHidden(false);
    EXPECT_EQ(placeholder->label(), label);
    placeholder->setProgressViewHidden(false);
    placeholder->setProgressViewHidden(false);
    placeholder->setCancelButtonHidden(false);
    placeholder->setCancelButtonHidden(false);
    EXPECT_EQ(placeholder->subviews().size(), 3u);
    EXPECT_FALSE(placeholder->isLabelHidden());
    EXPECT_EQ(placeholder->cancelButton()->currentTitle(), "Cancel");
    // Hidden by hand counts as hidden.
    placeholder->progressView()->setHidden(true);
    EXPECT_TRUE(placeholder->isProgressViewHidden());

    placeholder->setLabelHidden(true);
    placeholder->setProgressViewHidden(true);
    placeholder->setCancelButtonHidden(true);
    EXPECT_FALSE(placeholder->label());
    EXPECT_FALSE(placeholder->progressView());
    EXPECT_FALSE(placeholder->cancelButton());
    EXPECT_TRUE(placeholder->subviews().empty());
}

TEST_F(PlaceholderViewTest, StackedInTheMiddle)
{
    placeholder->setLabelHidden(false);
    placeholder->label()->setText("Loading Report.pdf");
    runLoop();
    // Alone, exactly in the middle, sized to its text.
    gfx::Rect label = placeholder->label()->frame();
    gfx::Size text = ui::Fonts::sizeOfString("Loading Report.pdf", placeholder->label()->font());
    EXPECT_EQ(label.size, text);
    EXPECT_EQ(label.origin, (gfx::Point { std::floor((320 - text.width) / 2), std::floor((460 - text.height) / 2) }));
    // A new text sizes it again and centres it again.
    placeholder->label()->setText("Download Failed");
    runLoop();
    EXPECT_EQ(placeholder->label()->frame().width(), ui::Fonts::sizeOfString("Download Failed", placeholder->label()->font()).width);
    EXPECT_NEAR(placeholder->label()->frame().midX(), 160, 0.5);

    // With the bar: the label rises by its height and 5, the bar 5 below it.
    placeholder->label()->setText("Loading Report.pdf");
    placeholder->setProgressViewHidden(false);
    placeholder->progressView()->setProgress(0.4f);
    runLoop();
    gfx::Rect raised = placeholder->label()->frame();
    EXPECT_EQ(raised.minY(), label.minY() - label.height() - 5);
    gfx::Rect bar = placeholder->progressView()->frame();
    EXPECT_EQ(bar.minY(), raised.maxY() + 5);
    EXPECT_NEAR(bar.midX(), 160, 0.5);

    // Cancel: as wide as its title and 30, 20 below the bar.
    placeholder->setCancelButtonHidden(false);
    runLoop();
    ui::Button* cancel = placeholder->cancelButton();
    float titleWidth = ui::Fonts::sizeOfString("Cancel", cancel->titleLabel().font()).width;
    EXPECT_EQ(cancel->frame().width(), titleWidth + 30);
    EXPECT_EQ(cancel->frame().minY(), bar.maxY() + 20);
    EXPECT_NEAR(cancel->frame().midX(), 160, 0.5);
    EXPECT_GE(cancel->frame().width(), 44);
    // Its art is lower than a finger's 44 points: a touch within 44 around
    // its middle is its touch.
    const float middle = cancel->frame().midY();
    EXPECT_LT(cancel->frame().height(), 44);
    EXPECT_EQ(placeholder->hitTest({ 160, middle - 21.5f }), cancel);
    EXPECT_EQ(placeholder->hitTest({ 160, middle + 21.5f }), cancel);
    EXPECT_EQ(placeholder->hitTest({ 160, middle - 23 }), placeholder.get());

    // Without the bar the button stays clear of the label; alone it is
    // centred, and so is a bar alone.
    placeholder->setProgressViewHidden(true);
    runLoop();
    EXPECT_EQ(placeholder->label()->frame(), label);
    EXPECT_EQ(cancel->frame().minY(), label.maxY() + 20);
    placeholder->setLabelHidden(true);
    runLoop();
    EXPECT_NEAR(cancel->frame().midY(), 230, 0.5);
    placeholder->setCancelButtonHidden(true);
    placeholder->setProgressViewHidden(false);
    runLoop();
    EXPECT_NEAR(placeholder->progressView()->frame().midY(), 230, 0.5);

    // Resized with its superview, the pieces stay in the middle.
    placeholder->setLabelHidden(false);
    placeholder->label()->setText("Loading Report.pdf");
    runLoop();
    placeholder->setFrame({ 0, 0, 480, 300 });
    runLoop();
    EXPECT_NEAR(placeholder->label()->frame().midX(), 240, 0.5);
    EXPECT_NEAR(placeholder->progressView()->frame().midX(), 240, 0.5);
}

TEST_F(PlaceholderViewTest, TheLabelsObservationEndsWithIt)
{
    placeholder->setLabelHidden(false);
    std::shared_ptr<ui::View> kept = placeholder->label()->sharedAs<ui::View>();
    placeholder->setLabelHidden(true);
    runLoop();
    // The label outlives its place here: its changes no longer reach the view.
    static_cast<ui::Label&>(*kept).setText("A very long text that would need a wider label");
    EXPECT_EQ(kept->frame().size, (gfx::Size {}));
    EXPECT_FALSE(placeholder->needsLayout());
    kept.reset();

    // A label wider than the view is cut at its tail inside it.
    placeholder->setLabelHidden(false);
    placeholder->label()->setText(std::string(200, 'x'));
    runLoop();
    EXPECT_GE(placeholder->label()->frame().minX(), 0);
    EXPECT_LE(placeholder->label()->frame().maxX(), 320);
    placeholder->setLabelHidden(true);

    long views = ui::LiveObjects::views;
    for (int i = 0; i < 1000; ++i) {
        placeholder->setLabelHidden(false);
        placeholder->label()->setText("Loading");
        placeholder->setProgressViewHidden(false);
        placeholder->setCancelButtonHidden(false);
        runLoop();
        placeholder->setLabelHidden(true);
        placeholder->setProgressViewHidden(true);
        placeholder->setCancelButtonHidden(true);
    }
    runLoop();
    EXPECT_EQ(ui::LiveObjects::views, views);
}

} // namespace
