// A plain table's section headers stick to the top of the visible area
// while their section passes under it and are pushed up by the next one;
// footers and grouped tables never stick. Headers stand above the rows and
// below the table's index. The pushed header is also looked at: rendered
// with real text at phone and tablet size, and kept as a golden.

#include "Support/GoldenImage.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include <algorithm>
#include <fmt/format.h>

namespace {

using ui::IndexPath;

// Sections of 10 rows of 44 points under 22-point headers (462 points a
// section).
struct Sections : ui::TableViewDataSource, ui::TableViewDelegate {
    int sections = 5;
    bool footers = false;
    bool styledHeaders = false;
    std::vector<std::string> indexTitles;
    int numberOfSections(ui::TableView&) override { return sections; }
    int numberOfRows(ui::TableView&, int) override { return 10; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell)
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, "row");
        cell->textLabel().setText(fmt::format("Item {} of section {}", path.row + 1, path.section + 1));
        return cell;
    }
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override
    {
        return fmt::format("Section {}", section + 1);
    }
    std::optional<std::string> titleForFooter(ui::TableView&, int section) override
    {
        return footers ? std::optional(fmt::format("End of {}", section + 1)) : std::nullopt;
    }
    std::vector<std::string> sectionIndexTitles(ui::TableView&) override { return indexTitles; }
    // A grey bar with its title inset, as lists show section headers.
    std::shared_ptr<ui::View> viewForHeader(ui::TableView&, int section) override
    {
        if (!styledHeaders)
            return nullptr;
        auto bar = ui::View::create();
        bar->setBackgroundColor(gfx::Color::rgb255(152, 164, 176, 0.94f));
        auto title = ui::Label::create({ 12, 0, 280, 22 }, fmt::format("Section {}", section + 1));
        title->setFont(ui::Fonts::boldSystemFont(16));
        title->setTextColor(ui::StandardColors::white());
        title->setBackgroundColor(ui::StandardColors::clear());
        bar->addSubview(title);
        return bar;
    }
};

// The table as a screen's whole view, turning with the device.
class TableScreen : public ui::ViewController {
public:
    explicit TableScreen(std::shared_ptr<ui::TableView> table) : m_table(std::move(table)) { }
    void loadView() override
    {
        m_table->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        setView(m_table);
    }
    bool shouldAutorotate(ui::Orientation) override { return true; }

private:
    std::shared_ptr<ui::TableView> m_table;
};

class StickyHeaderTest : public test::UITestCase {
protected:
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        if (table)
            table->removeFromSuperview();
        table.reset();
        UITestCase::TearDown();
    }
    void makeTable(ui::TableView::Style style = ui::TableView::Style::Plain)
    {
        if (table)
            table->removeFromSuperview();
        table = ui::TableView::create({ 0, 0, 320, 460 }, style);
        table->setDataSource(sections);
        table->setDelegate(sections);
        window().addSubview(table);
        runLoop();
    }
    void scrollTo(float y)
    {
        table->setContentOffset({ 0, y });
        table->layoutIfNeeded();
    }
    float headerY(int section)
    {
        auto* header = table->headerViewForTesting(section);
        return header ? header->frame().y() : -1;
    }
    size_t indexOf(const ui::View* view)
    {
        auto& subviews = table->subviews();
        return size_t(std::find_if(subviews.begin(), subviews.end(), [&](auto& v) { return v.get() == view; })
            - subviews.begin());
    }

    std::shared_ptr<Sections> sections = std::make_shared<Sections>();
    std::shared_ptr<ui::TableView> table;
};

TEST_F(StickyHeaderTest, HeadersStickAndArePushedUp)
{
    makeTable();
    EXPECT_EQ(table->rectForSection(1).y(), 462);
    scrollTo(100);
    EXPECT_EQ(headerY(0), 100);
    scrollTo(445);
    EXPECT_EQ(headerY(0), 440);
    EXPECT_EQ(headerY(1), 462);
    scrollTo(470);
    EXPECT_EQ(headerY(0), -1);
    EXPECT_EQ(headerY(1), 470);
    // Pulled past the top, the first header stays with its rows.
    scrollTo(-30);
    EXPECT_EQ(headerY(0), 0);

    // Over the rows, below the index.
    sections->indexTitles = { "1", "2", "3", "4", "5" };
    table->reloadData();
    scrollTo(600);
    auto* header = table->headerViewForTesting(1);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->frame().y(), 600);
    for (auto* cell : table->visibleCells())
        EXPECT_LT(indexOf(cell), indexOf(header)) << cell->debugText();
    EXPECT_LT(indexOf(header), indexOf(table->indexView()));
}

TEST_F(StickyHeaderTest, FootersAndGroupedTablesScrollWithTheirRows)
{
    sections->footers = true;
    makeTable();
    // Sections are 22 + 440 + 22 points now; footer 0 at 462.
    scrollTo(300);
    ui::View* footer = nullptr;
    for (auto& view : table->subviews())
        if (auto* label = dynamic_cast<ui::Label*>(view.get()); label && label->text() == "End of 1")
            footer = label;
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->frame().y(), 462);
    EXPECT_EQ(headerY(0), 300);

    sections->footers = false;
    makeTable(ui::TableView::Style::Grouped);
    float natural = table->rectForHeader(1).y();
    scrollTo(natural + 50);
    EXPECT_EQ(headerY(1), -1); // scrolled out, not stuck
    scrollTo(natural - 10);
    // A grouped title stands the section spacing below its header's top.
    EXPECT_EQ(headerY(1), natural + ui::TableView::GroupedSectionSpacing);
}

TEST_F(StickyHeaderTest, TitlesOfAGroupedTableStandOverItsRowsButOwnViewsSpanTheTable)
{
    makeTable(ui::TableView::Style::Grouped);
    auto* title = table->headerViewForTesting(0);
    ASSERT_TRUE(title);
    EXPECT_EQ(title->frame().x(), 2 * ui::TableView::GroupedMargin);
    sections->styledHeaders = true;
    makeTable(ui::TableView::Style::Grouped);
    auto* own = table->headerViewForTesting(0);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->frame().x(), 0);
    EXPECT_EQ(own->frame().width(), 320);
    // A plain table's own title is a bar across the table.
    sections->styledHeaders = false;
    makeTable();
    ASSERT_TRUE(table->headerViewForTesting(0));
    EXPECT_EQ(table->headerViewForTesting(0)->frame(), (gfx::Rect { 0, 0, 320, ui::TableView::PlainSectionHeaderHeight }));
    EXPECT_TRUE(table->headerViewForTesting(0)->isOpaque());
}

TEST_F(StickyHeaderTest, LiveHeadersStayAtTheVisibleCount)
{
    sections->sections = 2000;
    makeTable();
    size_t most = 0;
    for (float y = 0; y < 2000 * 462 - 460; y += 977) {
        scrollTo(y);
        size_t live = 0;
        for (auto& view : table->subviews())
            live += dynamic_cast<ui::Label*>(view.get()) && dynamic_cast<ui::Label*>(view.get())->text().starts_with("Section");
        most = std::max(most, live);
        ASSERT_EQ(headerY(int(y / 462)), std::min(y, float(int(y / 462) * 462 + 440))) << y;
    }
    EXPECT_LE(most, 2u);
}

TEST_F(StickyHeaderTest, PushedHeaderGoldenAndScreens)
{
    sections->styledHeaders = true;
    makeTable();
    scrollTo(445);
    auto picture = ui::Renderer::renderImage(*table);
    ASSERT_TRUE(picture);
    EXPECT_TRUE(test::matchesGolden(*picture, sourcePath(""), "sticky-header-pushed"));

    // With real text, at both sizes and in both orientations: one header
    // pinned in the middle of its section, one being pushed.
    gfx::setTextEngine(gfx::makePangoTextEngine());
    std::string directory = sourcePath("build/screens/folder_browser");
    for (auto& device : { test::phoneScreen, test::tabletScreen }) {
        table->removeFromSuperview();
        test::useDeviceScreen(window(), device);
        auto screen = std::make_shared<TableScreen>(table);
        window().setRootViewController(screen);
        runLoop();
        for (auto orientation : { ui::Orientation::Portrait, ui::Orientation::LandscapeLeft }) {
            if (orientation != ui::Orientation::Portrait) {
                ASSERT_TRUE(driver.rotate(orientation));
            }
            advance(1);
            std::string side = orientation == ui::Orientation::Portrait ? "portrait" : "landscape";
            scrollTo(700);
            test::saveScreen(driver, directory, fmt::format("headers-pinned-{}-{}", device.name, side), device.scale);
            scrollTo(924 - 19);
            test::saveScreen(driver, directory, fmt::format("headers-pushed-{}-{}", device.name, side), device.scale);
            EXPECT_EQ(headerY(1), 924 - 22);
        }
        ASSERT_TRUE(driver.rotate(ui::Orientation::Portrait));
        advance(1);
        window().setRootViewController(nullptr);
    }
}

} // namespace
