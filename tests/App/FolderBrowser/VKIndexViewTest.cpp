// The letter strip: its size, how it compresses labels that do not fit,
// which label a touch reaches, tracking, its two looks and its drawing, and
// data sources and sizes that would break a careless strip.

#include "App/FolderBrowser/VKIndexView.h"
#include "App/FolderBrowser/VKIndexViewLabelsLayer.h"

#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/Touch.h"
#include "Platform/UI/Window.h"
#include "Support/GoldenImage.h"
#include "Support/UITestCase.h"

#include <cmath>
#include <set>

namespace {

std::vector<std::string> alphabet()
{
    std::vector<std::string> letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters.emplace_back(1, c);
    return letters;
}

// "#" (kept whole) and A–Z (compressible) unless a test says otherwise;
// counts the questions asked.
struct Letters : VKIndexViewDataSource {
    std::vector<std::vector<std::string>> sections { { "#" }, alphabet() };
    std::vector<bool> compressible { false, true };
    int sectionQuestions = 0;
    size_t numberOfSectionsInIndexView(VKIndexView&) override
    {
        ++sectionQuestions;
        return sections.size();
    }
    std::vector<std::string> labelsForSection(VKIndexView&, size_t section) override { return sections.at(section); }
    bool canCompressLabelsInSection(VKIndexView&, size_t section) override { return compressible.at(section); }
};

ui::RenderOptions scaled(float scale)
{
    ui::RenderOptions options;
    options.scale = scale;
    return options;
}

std::string shown(const VKIndexView& strip)
{
    return strip.debugText();
}

class VKIndexViewTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        if (strip)
            strip->removeFromSuperview();
        strip.reset();
        UITestCase::TearDown();
    }
    // A strip of `height` on the window's right edge, labels loaded.
    void makeStrip(float height)
    {
        strip = VKIndexView::create({ 292, 20, 50, height });
        strip->setDataSource(letters);
        strip->reloadLabels();
        window().addSubview(strip);
        strip->addTarget(nullptr, "indexChanged", [this](ui::Control&, const ui::Event*) {
            events.push_back(strip->selectedLabel().value_or("(none)"));
        }, ui::Control::ValueChanged);
    }
    // The middle of the run of strip points whose touch gives `label`.
    float yOf(const std::string& label)
    {
        float first = -1, last = -1;
        for (float y = 0; y < strip->bounds().height(); y += 0.25f)
            if (strip->labelAtPoint({ 14, y }) == label) {
                if (first < 0)
                    first = y;
                last = y;
            }
        EXPECT_GE(first, 0) << label;
        return (first + last) / 2;
    }
    gfx::Point onScreen(float y) { return strip->convertPoint({ 14, y }, nullptr); }

    std::shared_ptr<Letters> letters = std::make_shared<Letters>();
    std::shared_ptr<VKIndexView> strip;
    std::vector<std::string> events;
};

TEST_F(VKIndexViewTest, IsAlways28PointsWideAndReloadsOnANewHeight)
{
    gfx::Screen::main().setScale(2);
    makeStrip(307);
    EXPECT_EQ(strip->frame(), (gfx::Rect { 292, 20, 28, 307 }));
    EXPECT_EQ(strip->autoresizingMask(), ui::View::FlexibleLeftMargin | ui::View::FlexibleHeight);
    EXPECT_FALSE(strip->isOpaque());
    EXPECT_FLOAT_EQ(strip->labelsLayer().opacity(), 0.75f);
    EXPECT_FLOAT_EQ(strip->labelsLayer().contentsScale(), 2);
    EXPECT_EQ(strip->labelsLayer().frame(), strip->bounds());
    EXPECT_EQ(strip->labelsLayer().animationKeys().size(), 0u);

    // A move keeps the labels; a new height loads them again.
    int asked = letters->sectionQuestions;
    strip->setFrame({ 100, 60, 10, 307 });
    EXPECT_EQ(strip->frame(), (gfx::Rect { 100, 60, 28, 307 }));
    EXPECT_EQ(letters->sectionQuestions, asked);
    strip->setFrame({ 100, 60, 28, 230 });
    EXPECT_EQ(letters->sectionQuestions, asked + 1);
    EXPECT_EQ(strip->labelsLayer().frame().height(), 230);
    EXPECT_EQ(strip->labelsLayer().animationKeys().size(), 0u);
}

TEST_F(VKIndexViewTest, CompressesWithTheFirstStepThatFits)
{
    makeStrip(307);
    EXPECT_EQ(strip->displayCount(), 27u);
    EXPECT_EQ(strip->displaySections(), letters->sections);

    strip->setFrame({ 292, 20, 28, 230 });
    EXPECT_EQ(shown(*strip), "# A ● D ● G ● J ● M ● P ● S ● V ● Y ● Z");
    EXPECT_EQ(strip->displayCount(), 20u);
    strip->setFrame({ 292, 20, 28, 200 });
    EXPECT_EQ(shown(*strip), "# A ● E ● I ● M ● Q ● U ● Y ● Z");
    // Nothing fits at 60 points: the sixth step is the last tried.
    strip->setFrame({ 292, 20, 28, 60 });
    EXPECT_EQ(shown(*strip), "# A ● G ● M ● S ● Y ● Z");
    // Step 5 ends on Z itself: no mark after it.
    letters->sections[1].resize(21); // A–U
    strip->setFrame({ 292, 20, 28, 120 });
    EXPECT_EQ(shown(*strip), "# A ● F ● K ● P ● U");

    // A row the language keeps whole stays whole, however short the strip.
    letters->sections = { { "#" }, { "あ", "か", "さ", "た", "な", "は", "ま", "や", "ら", "わ" }, alphabet() };
    letters->compressible = { false, false, true };
    strip->reloadLabels();
    EXPECT_EQ(strip->displaySections()[1], letters->sections[1]);
    EXPECT_EQ(strip->displaySections()[2], (std::vector<std::string> { "A", "●", "G", "●", "M", "●", "S", "●", "Y", "●", "Z" }));
}

TEST_F(VKIndexViewTest, ATouchReachesEveryLabelOfItsSection)
{
    makeStrip(230);
    // Above the track area nothing; past its end the last label.
    float top = strip->trackBounds().y();
    EXPECT_EQ(top, 11.0f / 2 + 5);
    EXPECT_EQ(strip->labelAtPoint({ 14, top - 0.5f }), std::nullopt);
    EXPECT_EQ(strip->labelAtPoint({ 14, top + 1 }), "#");
    EXPECT_EQ(strip->labelAtPoint({ 14, 229 }), "Z");
    EXPECT_EQ(strip->labelAtPoint({ 14, 230.5f }), std::nullopt);

    // Rows are 11 points over the 20 labels shown; the mark after D spans
    // the rows of E and F in the full alphabet.
    float rows = strip->labelBounds().height() / 20;
    EXPECT_FLOAT_EQ(rows, 11);
    auto at = [&](float offset) { return strip->labelAtPoint({ 14, top + offset }); };
    EXPECT_EQ(at(1 * rows + 1), "A");
    EXPECT_EQ(at(1 * rows + 3 * 209.0f / 26 + 1), "D");
    EXPECT_EQ(at(1 * rows + 4 * 209.0f / 26 + 1), "E");
    EXPECT_EQ(at(1 * rows + 5 * 209.0f / 26 + 1), "F");
    EXPECT_EQ(at(1 * rows + 6 * 209.0f / 26 + 1), "G");
    std::set<std::string> reached;
    for (float y = 0; y < 230; y += 0.5f)
        if (auto label = strip->labelAtPoint({ 14, y }))
            reached.insert(*label);
    EXPECT_EQ(reached.size(), 27u);
}

TEST_F(VKIndexViewTest, TracksAFingerAndLightsUpWhileTouched)
{
    makeStrip(307);
    // A touch-down selects on the next pass.
    auto down = ui::Touch::create(onScreen(yOf("K")), 0);
    EXPECT_TRUE(strip->beginTracking(*down, ui::Event::touches({ down })));
    EXPECT_TRUE(events.empty());
    runLoop();
    EXPECT_EQ(events, std::vector<std::string> { "K" });
    strip->endTracking(down.get(), nullptr);
    events.clear();

    auto finger = driver.touchDown({ onScreen(yOf("M")) });
    EXPECT_EQ(events, std::vector<std::string> { "M" });
    EXPECT_TRUE(strip->isHighlighted());
    EXPECT_FLOAT_EQ(strip->labelsLayer().opacity(), 1);

    driver.touchMove({ { finger[0], onScreen(yOf("N")) } });
    driver.touchMove({ { finger[0], onScreen(yOf("N") + 1) } });
    driver.touchMove({ { finger[0], onScreen(yOf("P")) } });
    EXPECT_EQ(events, (std::vector<std::string> { "M", "N", "N", "P" }));
    // Off the strip and above its track: still lit, nothing selected.
    driver.touchMove({ { finger[0], { 200, 20 } } });
    EXPECT_TRUE(strip->isHighlighted());
    EXPECT_EQ(events.size(), 4u);
    driver.touchUp(finger);
    EXPECT_EQ(strip->selectedLabel(), std::nullopt);
    EXPECT_EQ(events.size(), 4u);
    EXPECT_FALSE(strip->isHighlighted());
    EXPECT_FLOAT_EQ(strip->labelsLayer().opacity(), 0.75f);

    // The same label set again is news again; nothing is no news.
    strip->setSelectedLabel("Q");
    strip->setSelectedLabel("Q");
    strip->setSelectedLabel(std::nullopt);
    EXPECT_EQ(events, (std::vector<std::string> { "M", "N", "N", "P", "Q", "Q" }));

    // The strip takes touches inside itself only, and none while hidden.
    EXPECT_EQ(strip->hitTest({ 3, 100 }), strip.get());
    EXPECT_EQ(strip->hitTest({ -1, 100 }), nullptr);
    EXPECT_EQ(strip->hitTest({ 3, 308 }), nullptr);
    strip->setHidden(true);
    EXPECT_EQ(strip->hitTest({ 3, 100 }), nullptr);
    strip->setHidden(false);
    auto outside = ui::Touch::create(strip->convertPoint({ -40, 100 }, nullptr), 0);
    EXPECT_FALSE(strip->beginTracking(*outside, ui::Event::touches({ outside })));
}

TEST_F(VKIndexViewTest, DrawsLabelsInTheirRowsAndACapsuleWhileTouched)
{
    letters->sections = { { "#" } };
    makeStrip(31);
    // One row of 21 points (from 5), its text from 10: "#" as four strokes
    // of s = 9, w = 6.75 from (10.625, 11), centred in the row.
    auto labels = ui::Renderer::renderImage(strip->labelsLayer(), scaled(4));
    ASSERT_TRUE(labels);
    auto ink = [&](float x, float y) { return test::straightPixel(*labels, int(x * 4), int(y * 4)).alpha > 100; };
    EXPECT_TRUE(ink(14, 13.25f));       // upper bar
    EXPECT_TRUE(ink(14, 17.75f));       // lower bar
    EXPECT_TRUE(ink(12.3125f, 15.5f));  // left stroke
    EXPECT_TRUE(ink(15.6875f, 15.5f));  // right stroke
    EXPECT_FALSE(ink(14, 15.5f));       // the middle
    EXPECT_FALSE(ink(14, 10.5f));
    EXPECT_FALSE(ink(9.5f, 13.25f));
    int top = -1, bottom = -1;
    for (int y = 0; y < labels->height(); ++y)
        if (test::straightPixel(*labels, int(12.3125f * 4), y).alpha > 100) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    EXPECT_NEAR((top + bottom + 1) / 2.0, 15.5 * 4, 1);
    gfx::Pixel stroke = test::straightPixel(*labels, 14 * 4, int(13.25f * 4));
    EXPECT_NEAR(stroke.red, 85, 8);
    EXPECT_EQ(stroke.red, stroke.blue);

    // Letters sit in the middle of their rows; rows too small for the text
    // cut it at their edges.
    letters->sections = { { "W" } };
    strip->reloadLabels();
    labels = ui::Renderer::renderImage(strip->labelsLayer(), scaled(4));
    int left = 1000, right = -1;
    for (int x = 0; x < labels->width(); ++x)
        for (int y = 0; y < labels->height(); ++y)
            if (test::straightPixel(*labels, x, y).alpha > 100) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_NEAR((left + right + 1) / 2.0, 14 * 4, 2);
    letters->sections = { std::vector<std::string>(30, "Much too long a label") };
    letters->compressible = { false };
    strip->setFrame({ 292, 20, 28, 200 });
    labels = ui::Renderer::renderImage(strip->labelsLayer(), scaled(4));
    for (int x = 0; x < labels->width(); ++x) {
        EXPECT_EQ(test::straightPixel(*labels, x, 4 * 4).alpha, 0) << x;     // above the first row
        EXPECT_EQ(test::straightPixel(*labels, x, 196 * 4).alpha, 0) << x;   // below the last row
    }

    // Touched: a grey capsule of the strip's width behind the labels.
    strip->setFrame({ 292, 20, 28, 307 });
    auto idle = ui::Renderer::renderImage(*strip, scaled(1));
    EXPECT_EQ(test::straightPixel(*idle, 3, 150).alpha, 0);
    strip->setHighlighted(true);
    auto touched = ui::Renderer::renderImage(*strip, scaled(1));
    gfx::Pixel capsule = test::straightPixel(*touched, 3, 150);
    EXPECT_NEAR(capsule.red, 126, 3);
    EXPECT_NEAR(capsule.green, 136, 3);
    EXPECT_NEAR(capsule.blue, 140, 3);
    EXPECT_NEAR(capsule.alpha, 191, 3);
    EXPECT_EQ(test::straightPixel(*touched, 1, 1).alpha, 0); // the rounded end
}

TEST_F(VKIndexViewTest, EmptyOddAndTinyInputsDrawAndSelectNothing)
{
    letters->sections = {};
    letters->compressible = {};
    makeStrip(300);
    EXPECT_EQ(strip->displayCount(), 0u);
    EXPECT_EQ(strip->labelAtPoint({ 14, 100 }), std::nullopt);
    EXPECT_TRUE(ui::Renderer::renderImage(strip->labelsLayer()));

    // Empty sections take no rows and are never chosen.
    letters->sections = { {}, { "A", "B" }, {} };
    letters->compressible = { true, true, true };
    strip->reloadLabels();
    EXPECT_EQ(strip->displayCount(), 2u);
    EXPECT_EQ(strip->labelAtPoint({ 14, 20 }), "A");
    EXPECT_EQ(strip->labelAtPoint({ 14, 299 }), "B");
    letters->sections = { {}, {} };
    strip->reloadLabels();
    EXPECT_EQ(strip->labelAtPoint({ 14, 100 }), std::nullopt);

    // Under 10 points there is no room for a row.
    letters->sections = { { "#" }, alphabet() };
    letters->compressible = { false, true };
    strip->setFrame({ 292, 20, 28, 8 });
    for (float y = -2; y < 10; y += 0.5f)
        EXPECT_EQ(strip->labelAtPoint({ 14, y }), std::nullopt) << y;
    auto picture = ui::Renderer::renderImage(strip->labelsLayer(), scaled(4));
    ASSERT_TRUE(picture);
    for (int x = 0; x < picture->width(); ++x)
        for (int y = 0; y < picture->height(); ++y)
            ASSERT_EQ(picture->pixelAtForTesting(x, y).alpha, 0);

    // Without a data source nothing loads.
    strip->setDataSource({});
    strip->reloadLabels();
    EXPECT_EQ(strip->displayCount(), 0u);
    EXPECT_TRUE(strip->labelSections().empty());
}

} // namespace
