// The bookmark name row: its field's look, where the field sits with and
// without the row's picture and for short and large text, and the keyboard.

#include "Viewers/Document/VKBookmarkAddCell.h"

#include "Platform/UI/Fonts.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/UITestCase.h"

#include <cmath>

namespace {

class VKBookmarkAddCellTest : public test::UITestCase {
protected:
    std::shared_ptr<VKBookmarkAddCell> place(float width, float height)
    {
        auto cell = VKBookmarkAddCell::initWithStyle(ui::TableViewCell::Style::Default, "VKBookmarkAddCell");
        cell->setFrame(gfx::Rect(0, 0, width, height));
        window().addSubview(cell);
        cell->layoutIfNeeded();
        return cell;
    }
    // Where the field's top belongs in a box of that top and height.
    static float centredTop(const VKBookmarkAddCell& cell, float top, float height, std::string_view text)
    {
        float line = ui::Fonts::sizeOfString(text, cell.textField().font()).height;
        return top + std::floor((height - line) * 0.5f) + 1;
    }
};

TEST_F(VKBookmarkAddCellTest, TheFieldIsABorderlessBoldShrinkingFieldWithAClearButton)
{
    auto cell = place(320, 44);
    auto& field = cell->textField();
    EXPECT_EQ(field.font(), ui::Fonts::boldSystemFont(20));
    EXPECT_TRUE(field.adjustsFontSizeToFitWidth());
    EXPECT_EQ(field.borderStyle(), ui::TextField::BorderStyle::None);
    EXPECT_EQ(field.clearButtonMode(), ui::TextField::ViewMode::Always);
    EXPECT_EQ(field.superview(), &cell->contentView());
    EXPECT_EQ(cell->reuseIdentifier(), "VKBookmarkAddCell");
    cell->removeFromSuperview();
}

TEST_F(VKBookmarkAddCellTest, TheFieldFillsTheInsetContentCentredOnItsOwnLine)
{
    auto cell = place(320, 44);
    gfx::Rect content = cell->contentView().bounds();
    gfx::Rect frame = cell->textField().frame();
    EXPECT_FLOAT_EQ(frame.x(), 10);
    EXPECT_FLOAT_EQ(frame.width(), content.width() - 20);
    // Empty, the line of an "A" sets the height.
    float line = ui::Fonts::sizeOfString("A", cell->textField().font()).height;
    EXPECT_FLOAT_EQ(frame.height(), line);
    EXPECT_FLOAT_EQ(frame.y(), centredTop(*cell, 2, content.height() - 4, "A"));
    EXPECT_LE(frame.maxY(), content.maxY());

    // A taller row keeps the field on its middle, one point low.
    cell->setFrame(gfx::Rect(0, 0, 320, 90));
    cell->layoutIfNeeded();
    frame = cell->textField().frame();
    EXPECT_NEAR(frame.midY(), cell->contentView().bounds().midY() + 1, 0.5f + 0.01f);
    cell->removeFromSuperview();
}

TEST_F(VKBookmarkAddCellTest, ThePictureMovesTheFieldRightAndNarrowsIt)
{
    auto cell = place(320, 44);
    auto picture = ui::Images::imageNamed("VKTableCellBookmark.png");
    ASSERT_TRUE(picture);
    ASSERT_TRUE(ui::Images::imageNamed("VKTableCellBookmarkSelected.png"));
    float plain = cell->textField().frame().width();
    cell->imageView().setImage(picture);
    cell->setNeedsLayout();
    cell->layoutIfNeeded();
    gfx::Rect frame = cell->textField().frame();
    EXPECT_FLOAT_EQ(frame.x(), 10 + picture->size().width + 10);
    EXPECT_FLOAT_EQ(frame.width(), plain - picture->size().width - 10);
    // Nothing of the field lies over the picture.
    EXPECT_GE(frame.x(), cell->imageView().frame().maxX());

    // A row too narrow for the picture leaves no width rather than less.
    cell->setFrame(gfx::Rect(0, 0, 30, 44));
    cell->layoutIfNeeded();
    EXPECT_GE(cell->textField().frame().width(), 0);
    cell->removeFromSuperview();
}

TEST_F(VKBookmarkAddCellTest, TextInALargerFontIsMeasuredAsTyped)
{
    auto cell = place(320, 60);
    auto& field = cell->textField();
    field.setFont(ui::Fonts::boldSystemFont(32));
    field.setText("Chapter 12");
    cell->setNeedsLayout();
    cell->layoutIfNeeded();
    gfx::Rect content = cell->contentView().bounds();
    EXPECT_FLOAT_EQ(field.frame().height(), ui::Fonts::sizeOfString("Chapter 12", field.font()).height);
    EXPECT_FLOAT_EQ(field.frame().y(), centredTop(*cell, 2, content.height() - 4, "Chapter 12"));
    cell->removeFromSuperview();
}

TEST_F(VKBookmarkAddCellTest, StartEditingBringsUpTheKeyboardOnTheField)
{
    auto cell = place(320, 44);
    cell->textField().setText("Bookmark 4");
    cell->startEditing();
    runLoop();
    EXPECT_TRUE(cell->textField().isFirstResponder());
    EXPECT_TRUE(driver.keyboardVisible());
    driver.type("!");
    EXPECT_EQ(cell->textField().text(), "Bookmark 4!");
    cell->textField().resignFirstResponder();
    cell->removeFromSuperview();
}

} // namespace
