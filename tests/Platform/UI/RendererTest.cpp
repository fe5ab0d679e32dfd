#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/ProgressView.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/SegmentedControl.h"
#include "Platform/UI/Slider.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Toolbar.h"
#include "Platform/UI/Window.h"
#include "Support/Command.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <filesystem>

using namespace ui;
using test::straightPixel;

namespace {

class RendererTest : public test::UITestCase { };

std::shared_ptr<View> makeStrip()
{
    auto strip = View::create({ 0, 0, 320, 120 });
    strip->setBackgroundColor(StandardColors::white());
    auto ok = Button::create(Button::Type::RoundedRect, { 8, 8, 72, 37 });
    ok->setTitle("OK", Control::Normal);
    ok->setTitleColor(gfx::Color::rgb255(0, 122, 255), Control::Normal);
    strip->addSubview(ok);
    auto on = Switch::create({ 90, 12, 0, 0 });
    on->setOn(true);
    strip->addSubview(on);
    auto off = Switch::create({ 192, 12, 0, 0 });
    strip->addSubview(off);
    auto slider = Slider::create({ 8, 52, 140, 23 });
    slider->setValue(0.5f);
    strip->addSubview(slider);
    auto segments = SegmentedControl::create({ std::string("One"), std::string("Two"), std::string("Six") });
    segments->setFrame({ 160, 50, 150, 28 });
    segments->setSelectedSegmentIndex(1);
    strip->addSubview(segments);
    auto progress = ProgressView::create();
    progress->setFrame({ 8, 92, 140, 9 });
    progress->setProgress(0.3f);
    strip->addSubview(progress);
    auto field = TextField::create({ 160, 84, 150, 31 });
    field->setBorderStyle(TextField::BorderStyle::RoundedRect);
    field->setPlaceholder("Name");
    strip->addSubview(field);
    return strip;
}

// Whether any pixel inside the rectangle (in pixels) is not transparent.
bool hasInk(const gfx::BitmapContext& bitmap, int x0, int y0, int x1, int y1)
{
    for (int y = std::max(0, y0); y < std::min(bitmap.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(bitmap.width(), x1); ++x)
            if (bitmap.pixelAtForTesting(x, y).alpha > 0)
                return true;
    return false;
}

} // namespace

TEST_F(RendererTest, GoldenViewAndControls)
{
    auto view = View::create({ 0, 0, 120, 80 });
    view->setBackgroundColor(StandardColors::red());
    view->layer().setCornerRadius(8);
    auto label = Label::create(view->bounds(), "Hi");
    label->setBackgroundColor(StandardColors::clear());
    label->setTextColor(StandardColors::white());
    label->setTextAlignment(gfx::TextAlignment::Center);
    view->addSubview(label);
    auto picture = Renderer::renderImage(*view);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "view"));
    // Corners are rounded off, the edge and the middle red.
    EXPECT_EQ(picture->pixelAtForTesting(0, 0).alpha, 0);
    EXPECT_EQ(straightPixel(*picture, 60, 0), (gfx::Pixel { 255, 0, 0, 255 }));
    EXPECT_EQ(straightPixel(*picture, 20, 40), (gfx::Pixel { 255, 0, 0, 255 }));
    EXPECT_EQ(straightPixel(*picture, 54, 40), (gfx::Pixel { 255, 255, 255, 255 })); // "Hi" in the middle

    auto strip = makeStrip();
    auto controls = Renderer::renderImage(*strip);
    ASSERT_TRUE(controls);
    EXPECT_TRUE(test::matchesGolden(*controls, sourcePath(""), "controls"));
}

TEST_F(RendererTest, OpacityHiddenClippingRotationAndPatterns)
{
    auto back = View::create({ 0, 0, 40, 40 });
    back->setBackgroundColor(StandardColors::black());
    auto half = View::create({ 0, 0, 20, 40 });
    half->setBackgroundColor(StandardColors::white());
    half->setAlpha(0.5f);
    back->addSubview(half);
    auto hidden = View::create({ 20, 0, 20, 20 });
    hidden->setBackgroundColor(StandardColors::white());
    hidden->setHidden(true);
    back->addSubview(hidden);
    auto clip = View::create({ 20, 20, 10, 10 });
    clip->setClipsToBounds(true);
    auto inner = View::create({ 0, 0, 20, 20 });
    inner->setBackgroundColor(StandardColors::red());
    clip->addSubview(inner);
    back->addSubview(clip);
    auto picture = Renderer::renderImage(*back);
    ASSERT_TRUE(picture);
    EXPECT_NEAR(picture->pixelAtForTesting(5, 5).red, 127, 2);
    EXPECT_EQ(picture->pixelAtForTesting(25, 5).red, 0); // hidden
    EXPECT_EQ(picture->pixelAtForTesting(25, 25).red, 255);
    EXPECT_EQ(picture->pixelAtForTesting(35, 35).red, 0); // clipped off

    // A tall label turned by a quarter draws across its rotated frame.
    auto canvas = View::create({ 0, 0, 100, 100 });
    auto label = Label::create({ 0, 0, 80, 20 }, "WWWWWWWW");
    label->setCenter({ 50, 50 });
    label->setTransform(gfx::AffineTransform::rotation(float(M_PI / 2)));
    canvas->addSubview(label);
    auto turned = Renderer::renderImage(*canvas);
    ASSERT_TRUE(turned);
    EXPECT_TRUE(hasInk(*turned, 45, 12, 55, 20));  // label's white runs top to bottom
    EXPECT_FALSE(hasInk(*turned, 0, 45, 30, 55)); // not across

    // A 12-point checkerboard repeats every 24 pixels at scale 2.
    auto tile = gfx::makeImageContext({ 12, 12 }, 1);
    tile->setFillColor(1, 1, 1, 1);
    tile->fillRect({ 0, 0, 12, 12 });
    tile->setFillColor(0, 0, 0, 1);
    tile->fillRect({ 0, 0, 6, 6 });
    tile->fillRect({ 6, 6, 6, 6 });
    auto board = View::create({ 0, 0, 60, 60 });
    auto patterned = View::create({ 5, 5, 50, 50 });
    patterned->setBackgroundColor(gfx::Color::patternWithImage(tile->makeImage()));
    board->addSubview(patterned);
    RenderOptions twice;
    twice.scale = 2;
    auto checker = Renderer::renderImage(*board, twice);
    ASSERT_TRUE(checker);
    for (int x = 10; x < 80; x += 7)
        EXPECT_EQ(checker->pixelAtForTesting(x, 40), checker->pixelAtForTesting(x + 24, 40)) << x;
    // Phased at the view's origin: its first pixel is the tile's dark corner.
    EXPECT_EQ(checker->pixelAtForTesting(15, 15).red, 0);
    EXPECT_EQ(checker->pixelAtForTesting(15 + 12, 15).red, 255);
}

// A see-through view is drawn as a group clipped to where it and its
// subviews reach (a subview hanging out of its bounds, one moved by a
// transform, pictures by gravity), never cutting what it would show.
TEST_F(RendererTest, ASeeThroughViewShowsEverythingItsSubviewsDrawOutsideIt)
{
    auto back = View::create({ 0, 0, 100, 100 });
    back->setBackgroundColor(StandardColors::black());
    auto faded = View::create({ 10, 10, 20, 20 });
    faded->setAlpha(0.5f);
    back->addSubview(faded);
    auto hanging = View::create({ 40, 40, 30, 30 }); // well outside the faded view
    hanging->setBackgroundColor(StandardColors::white());
    faded->addSubview(hanging);
    auto turned = View::create({ -5, 60, 10, 10 });
    turned->setBackgroundColor(StandardColors::white());
    turned->setTransform(gfx::AffineTransform::translation(0, 10));
    faded->addSubview(turned);
    auto picture = Renderer::renderImage(*back);
    ASSERT_TRUE(picture);
    EXPECT_NEAR(picture->pixelAtForTesting(15, 15).red, 0, 1); // the faded view draws nothing itself
    EXPECT_NEAR(picture->pixelAtForTesting(65, 65).red, 127, 2);
    EXPECT_NEAR(picture->pixelAtForTesting(79, 79).red, 127, 2);
    EXPECT_NEAR(picture->pixelAtForTesting(10, 85).red, 127, 2);
    EXPECT_EQ(picture->pixelAtForTesting(90, 90).red, 0);

    // Rows and labels draw straight into the target, but no further than
    // their bounds, as a picture of them would.
    auto list = View::create({ 0, 0, 100, 100 });
    list->setBackgroundColor(StandardColors::black());
    auto cell = TableViewCell::create(TableViewCell::Style::Default, "row");
    cell->setFrame({ 0, 20, 100, 30 });
    list->addSubview(cell);
    auto label = Label::create({ 0, 60, 100, 20 });
    list->addSubview(label);
    auto drawn = Renderer::renderImage(*list);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->pixelAtForTesting(50, 25).red, 255); // the row's white
    EXPECT_EQ(drawn->pixelAtForTesting(50, 70).red, 255); // the label's white
    for (int y : { 18, 55, 82 })
        EXPECT_EQ(drawn->pixelAtForTesting(50, y).red, 0) << y;
}

TEST_F(RendererTest, EveryStandardViewHasInkInItsBounds)
{
    auto image = gfx::makeImageContext({ 10, 10 }, 1);
    image->setFillColor(0, 0.5f, 0, 1);
    image->fillRect({ 0, 0, 10, 10 });
    std::vector<std::shared_ptr<View>> views;
    auto button = Button::create(Button::Type::RoundedRect, { 0, 0, 80, 37 });
    button->setTitle("Go", Control::Normal);
    views.push_back(button);
    views.push_back(Label::create({ 0, 0, 80, 21 }, "Text"));
    auto imageView = ImageView::create(image->makeImage());
    views.push_back(imageView);
    views.push_back(Switch::create());
    views.push_back(Slider::create({ 0, 0, 100, 23 }));
    auto segments = SegmentedControl::create({ std::string("A"), std::string("B") });
    segments->setFrame({ 0, 0, 100, 30 });
    views.push_back(segments);
    auto progress = ProgressView::create();
    progress->setFrame({ 0, 0, 100, 9 });
    views.push_back(progress);
    auto spinner = ActivityIndicator::create(ActivityIndicator::Style::Gray);
    spinner->startAnimating();
    views.push_back(spinner);
    auto field = TextField::create({ 0, 0, 100, 31 });
    field->setBorderStyle(TextField::BorderStyle::Line);
    views.push_back(field);
    views.push_back(NavigationBar::create({ 0, 0, 320, 44 }));
    views.push_back(Toolbar::create({ 0, 0, 320, 44 }));
    views.push_back(TabBar::create({ 0, 0, 320, 49 }));
    auto cell = TableViewCell::create(TableViewCell::Style::Default, "cell");
    cell->setFrame({ 0, 0, 320, 44 });
    views.push_back(cell);
    auto grouped = TableView::create({ 0, 0, 320, 100 }, TableView::Style::Grouped);
    views.push_back(grouped);
    for (auto& view : views) {
        auto picture = Renderer::renderImage(*view);
        ASSERT_TRUE(picture) << view->description();
        EXPECT_TRUE(hasInk(*picture, 0, 0, picture->width(), picture->height())) << view->description();
    }

    // Real glyphs: ink in the frame, and another picture than the boxes.
    auto label = Label::create({ 0, 0, 80, 24 }, "Hello");
    auto boxes = Renderer::renderImage(*label);
    RenderOptions real;
    real.realText = true;
    label->setNeedsDisplay();
    auto glyphs = Renderer::renderImage(*label, real);
    ASSERT_TRUE(boxes && glyphs);
    int differing = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 80; ++x)
            differing += !(boxes->pixelAtForTesting(x, y) == glyphs->pixelAtForTesting(x, y));
    EXPECT_GT(differing, 20);
    bool dark = false;
    for (int x = 0; x < 80; ++x)
        dark = dark || glyphs->pixelAtForTesting(x, 12).red < 128;
    EXPECT_TRUE(dark);
}

TEST_F(RendererTest, ScreenshotsAndRefusals)
{
    auto strip = makeStrip();
    strip->setFrame({ 0, 40, 320, 120 });
    window().addSubview(strip);
    std::string path = pathInHome("screen.png");
    core::Error error;
    ui::testing::Driver::ScreenshotOptions options;
    options.scale = 2;
    ASSERT_TRUE(driver.screenshot(path, options, &error)) << error.description();
    auto description = test::runCommand({ "file", "-b", path });
    EXPECT_NE(description.output.find("640 x 960"), std::string::npos) << description.output;
    EXPECT_NE(description.output.find("PNG"), std::string::npos);

    std::string unwritable = pathInHome("missing/folder/screen.png");
    EXPECT_FALSE(driver.screenshot(unwritable, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(pathInHome("missing")));

    auto huge = View::create({ 0, 0, 20000, 10 });
    core::Error tooLarge;
    EXPECT_FALSE(Renderer::renderImage(*huge, {}, &tooLarge));
    EXPECT_FALSE(tooLarge.isEmpty());
}

namespace {

class RendererRows : public TableViewDataSource {
public:
    int numberOfRows(TableView&, int) override { return 3; }
    std::shared_ptr<TableViewCell> cellForRow(TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = TableViewCell::create(TableViewCell::Style::Default, "row");
        const char* titles[] = { "Documents", "Photos", "Music" };
        cell->textLabel().setText(titles[path.row]);
        cell->setAccessoryType(path.row == 2 ? TableViewCell::Accessory::Checkmark
                                             : TableViewCell::Accessory::DisclosureIndicator);
        return cell;
    }
};

// A navigation bar ("Back", "Files", "Edit"), three rows and a toolbar in
// the key window.
struct FilesScreen {
    std::shared_ptr<RendererRows> rows = std::make_shared<RendererRows>();
    std::shared_ptr<View> root;

    explicit FilesScreen(Window& window)
    {
        root = View::create({ 0, 20, 320, 460 });
        root->setBackgroundColor(StandardColors::white());
        auto bar = NavigationBar::create({ 0, 0, 320, 44 });
        auto files = NavigationItem::create("Files");
        files->setRightBarButtonItem(BarButtonItem::create(BarButtonItem::SystemItem::Edit));
        bar->setItems({ NavigationItem::create(), files });
        root->addSubview(bar);
        auto table = TableView::create({ 0, 44, 320, 372 });
        table->setDataSource(rows);
        root->addSubview(table);
        auto toolbar = Toolbar::create({ 0, 416, 320, 44 });
        toolbar->setItems({ BarButtonItem::space(), BarButtonItem::create("Share"), BarButtonItem::space() });
        root->addSubview(toolbar);
        window.addSubview(root);
        table->reloadData();
        window.layoutIfNeeded();
    }
    ~FilesScreen() { root->removeFromSuperview(); }
};

} // namespace

TEST_F(RendererTest, GoldenScreenWithBarsAndRows)
{
    FilesScreen screen(window());
    auto picture = Renderer::renderScreenImage();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 320);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "screen"));

    // The same under an alert: a rounded box over the dimmed screen.
    auto alert = AlertView::create("Delete?", "The file goes to the trash.", {}, std::string("Cancel"), { "Delete" });
    alert->show();
    runLoop();
    auto alerted = Renderer::renderScreenImage();
    ASSERT_TRUE(alerted);
    EXPECT_TRUE(test::matchesGolden(*alerted, sourcePath(""), "screen-alert"));
    EXPECT_LT(alerted->pixelAtForTesting(160, 400).red, 200); // the dimmed table
    driver.pressAlertButton(0);
    runLoop();
}
