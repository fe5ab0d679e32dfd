// Touches that land in a scroll view's content: held back for
// ContentTouchDelay so that a drag never reaches a row, handed over at the
// lift or when the delay passes, and taken away again by a drag only where
// the content allows it.

#include "Support/UITestCase.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/Touch.h"

namespace {

using ui::IndexPath;

double now()
{
    return core::RunLoop::main().clock()->monotonic();
}

// Records, with the clock's time, what reaches it: touches and a
// recognizer's touches.
struct Journal {
    std::vector<std::pair<std::string, double>> entries;
    void add(std::string what) { entries.emplace_back(std::move(what), now()); }
    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (auto& [name, time] : entries)
            result.push_back(name);
        return result;
    }
    double timeOf(std::string_view name) const
    {
        for (auto& [entry, time] : entries)
            if (entry == name)
                return time;
        return -1;
    }
};

class LoggingCell : public ui::TableViewCell {
public:
    explicit LoggingCell(Journal& journal) : TableViewCell(Style::Default, "row"), m_journal(journal) { }
    void touchesBegan(const ui::TouchSet& t, const ui::Event& e) override
    {
        m_journal.add("began");
        TableViewCell::touchesBegan(t, e);
    }
    void touchesEnded(const ui::TouchSet& t, const ui::Event& e) override
    {
        m_journal.add("ended");
        TableViewCell::touchesEnded(t, e);
    }
    void touchesCancelled(const ui::TouchSet& t, const ui::Event& e) override
    {
        m_journal.add("cancelled");
        TableViewCell::touchesCancelled(t, e);
    }

private:
    Journal& m_journal;
};

// A recognizer that notes what it hears and fails at the lift.
class Listener : public ui::GestureRecognizer {
public:
    explicit Listener(Journal& journal) : m_journal(journal) { setCancelsTouchesInView(false); }
    void touchesBegan(const ui::TouchSet&, const ui::Event&) override { m_journal.add("recognizer-began"); }
    void touchesEnded(const ui::TouchSet&, const ui::Event&) override
    {
        m_journal.add("recognizer-ended");
        setState(State::Failed);
    }

private:
    Journal& m_journal;
};

struct Rows : ui::TableViewDataSource, ui::TableViewDelegate {
    Journal journal;
    std::vector<IndexPath> selected;
    std::shared_ptr<ui::Switch> rowSwitch;
    int numberOfRows(ui::TableView&, int) override { return 40; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, IndexPath path) override
    {
        auto cell = table.dequeueReusableCell("row");
        if (!cell) {
            cell = std::make_shared<LoggingCell>(journal);
            cell->addGestureRecognizer(std::make_shared<Listener>(journal));
        }
        cell->textLabel().setText(path.description());
        if (path.row == 3) {
            rowSwitch = ui::Switch::create({ 200, 8, 0, 0 });
            cell->contentView().addSubview(rowSwitch);
        }
        return cell;
    }
    void didSelectRow(ui::TableView&, IndexPath path) override { selected.push_back(path); }
};

class ContentTouchDelayTest : public test::UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        rows = std::make_shared<Rows>();
        table = ui::TableView::create({ 0, 0, 320, 460 });
        table->setDataSource(rows);
        table->setDelegate(rows);
        window().addSubview(table);
        runLoop();
    }
    void TearDown() override
    {
        table->removeFromSuperview();
        table.reset();
        rows.reset();
        UITestCase::TearDown();
    }
    ui::TableViewCell& cell(int row) { return *table->cellForRow({ 0, row }); }
    gfx::Point centre(int row) { return driver.tapPoint(cell(row)); }

    std::shared_ptr<Rows> rows;
    std::shared_ptr<ui::TableView> table;
};

TEST_F(ContentTouchDelayTest, AQuickTapReachesTheRowAtTheLift)
{
    double start = now();
    auto finger = driver.touchDown({ centre(1) });
    EXPECT_TRUE(rows->journal.entries.empty());
    driver.wait(0.05);
    driver.touchUp(finger);
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began", "recognizer-ended", "ended" }));
    EXPECT_DOUBLE_EQ(rows->journal.timeOf("began"), start + 0.05);
    EXPECT_EQ(rows->selected, (std::vector<IndexPath> { { 0, 1 } }));
    // Nothing arrives later from the delay.
    driver.wait(0.5);
    EXPECT_EQ(rows->journal.entries.size(), 4u);
}

TEST_F(ContentTouchDelayTest, AFingerHeldStillReachesTheRowAfterTheDelay)
{
    double start = now();
    auto finger = driver.touchDown({ centre(2) });
    driver.wait(0.14);
    EXPECT_TRUE(rows->journal.entries.empty());
    EXPECT_FALSE(cell(2).isHighlighted());
    driver.wait(0.01);
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began" }));
    EXPECT_NEAR(rows->journal.timeOf("began"), start + ui::ScrollView::ContentTouchDelay, 1e-9);
    EXPECT_TRUE(cell(2).isHighlighted());
    driver.touchUp(finger);
    EXPECT_EQ(rows->selected, (std::vector<IndexPath> { { 0, 2 } }));
    EXPECT_FALSE(cell(2).isHighlighted());
}

TEST_F(ContentTouchDelayTest, AnEarlyDragScrollsAndTheRowNeverHearsOfIt)
{
    gfx::Point from = centre(5);
    auto finger = driver.touchDown({ from });
    for (int step = 1; step <= 3; ++step) {
        driver.wait(0.033);
        driver.touchMove({ { finger[0], { from.x, from.y - 10.0f * float(step) } } });
    }
    EXPECT_GT(table->contentOffset().y, 15);
    driver.wait(0.3);
    driver.touchUp(finger);
    advance(2);
    EXPECT_TRUE(rows->journal.entries.empty());
    EXPECT_TRUE(rows->selected.empty());
}

TEST_F(ContentTouchDelayTest, ALaterDragCancelsRowsButNotControls)
{
    // Held, then dragged: the row loses its touch and the list scrolls.
    gfx::Point from = centre(6);
    auto finger = driver.touchDown({ from });
    driver.wait(0.2);
    driver.touchMove({ { finger[0], { from.x, from.y - 40 } } });
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began", "cancelled" }));
    EXPECT_GT(table->contentOffset().y, 20);
    driver.touchUp(finger);
    advance(2);
    EXPECT_TRUE(rows->selected.empty());

    // A switch held keeps its touch: the list stays where it is.
    table->setContentOffset({ 0, 0 });
    runLoop();
    auto& toggle = *rows->rowSwitch;
    gfx::Point on = driver.tapPoint(toggle);
    rows->journal.entries.clear();
    finger = driver.touchDown({ on });
    driver.wait(0.2);
    EXPECT_TRUE(toggle.isTracking());
    driver.touchMove({ { finger[0], { on.x, on.y - 40 } } });
    EXPECT_TRUE(toggle.isTracking());
    EXPECT_EQ(table->contentOffset().y, 0);
    driver.touchUp(finger);
    EXPECT_FALSE(toggle.isTracking());

    // Without cancelling, a row held keeps its touch too.
    table->setCanCancelContentTouches(false);
    rows->journal.entries.clear();
    from = centre(6);
    finger = driver.touchDown({ from });
    driver.wait(0.2);
    driver.touchMove({ { finger[0], { from.x, from.y - 40 } } });
    EXPECT_EQ(table->contentOffset().y, 0);
    driver.touchUp(finger);
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began", "recognizer-ended", "ended" }));

    // ... but an early drag still scrolls, and the row never hears of it.
    rows->journal.entries.clear();
    driver.drag(from, { from.x, from.y - 60 }, 6, 0.1);
    EXPECT_GT(table->contentOffset().y, 30);
    advance(2);
    EXPECT_TRUE(rows->journal.entries.empty());
}

TEST_F(ContentTouchDelayTest, WithoutTheDelayTouchesArriveAtOnce)
{
    table->setDelaysContentTouches(false);
    auto finger = driver.touchDown({ centre(1) });
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began" }));
    EXPECT_TRUE(cell(1).isHighlighted());
    driver.touchUp(finger);
    EXPECT_EQ(rows->selected, (std::vector<IndexPath> { { 0, 1 } }));

    // A long press in a delaying table starts when the row gets the touch.
    table->setDelaysContentTouches(true);
    rows->journal.entries.clear();
    driver.longPress(cell(2), 0.3);
    EXPECT_EQ(rows->journal.names(), (std::vector<std::string> { "recognizer-began", "began", "recognizer-ended", "ended" }));
    EXPECT_NEAR(rows->journal.timeOf("ended") - rows->journal.timeOf("began"), 0.3, 1e-9);
}

} // namespace
