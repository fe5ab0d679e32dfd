// A batch's change checked against the rows before and after: where each
// old row goes, when the table must lay out anew, and what a move does to
// the other rows.

#include "Platform/Core/Exception.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewBatchUpdates.h"
#include "Platform/UI/TableViewGeometry.h"

#include <gtest/gtest.h>

namespace {

using ui::IndexPath;
using Batch = ui::TableViewBatchUpdates;

struct Counts : ui::TableViewDataSource {
    std::vector<int> rows;
    int numberOfSections(ui::TableView&) override { return int(rows.size()); }
    int numberOfRows(ui::TableView&, int section) override { return rows[size_t(section)]; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, IndexPath) override { return nullptr; }
};

// A change with one of its lists given.
template<typename List> Batch::Update with(List Batch::Update::*member, List list)
{
    Batch::Update update;
    update.*member = std::move(list);
    return update;
}

ui::TableViewGeometry geometryOf(std::vector<int> rows)
{
    auto table = ui::TableView::create();
    Counts counts;
    counts.rows = std::move(rows);
    ui::TableViewGeometry geometry;
    geometry.build(*table, &counts, nullptr, { false, 44, 0, 0, 0 }, 0);
    return geometry;
}

TEST(TableViewBatchUpdatesTest, RowsMoveByOldDeletesAndNewInserts)
{
    auto old = geometryOf({ 2, 6 });
    Batch batch;
    batch.begin();
    batch.add({ { { 1, 1 }, { 1, 3 }, { 1, 3 } }, {}, {}, {}, {}, ui::TableView::RowAnimation::None });
    batch.begin();
    batch.add({ {}, { { 1, 0 }, { 1, 4 } }, {}, {}, {}, ui::TableView::RowAnimation::Fade });
    EXPECT_FALSE(batch.end()); // still nested
    auto update = batch.end();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->animation, ui::TableView::RowAnimation::Fade);
    EXPECT_FALSE(batch.end()); // not begun

    auto moved = Batch::check(*update, old, 2, [](int section) { return section == 0 ? 2 : 6; });
    ASSERT_TRUE(moved);
    EXPECT_EQ((*moved)({ 0, 1 }), (IndexPath { 0, 1 }));
    EXPECT_EQ((*moved)({ 1, 0 }), (IndexPath { 1, 1 }));
    EXPECT_EQ((*moved)({ 1, 1 }), std::nullopt);
    EXPECT_EQ((*moved)({ 1, 2 }), (IndexPath { 1, 2 }));
    EXPECT_EQ((*moved)({ 1, 3 }), std::nullopt);
    EXPECT_EQ((*moved)({ 1, 4 }), (IndexPath { 1, 3 }));
    EXPECT_EQ((*moved)({ 1, 5 }), (IndexPath { 1, 5 }));

    // Counts that do not add up, rows out of range, sections that change.
    EXPECT_THROW(Batch::check(*update, old, 2, [](int) { return 7; }), core::Exception);
    EXPECT_THROW(Batch::check(with(&Batch::Update::deleted, { { 1, 6 } }), old, 2, [](int s) { return s == 0 ? 2 : 5; }), core::Exception);
    EXPECT_THROW(Batch::check(with(&Batch::Update::inserted, { { 1, 7 } }), old, 2, [](int s) { return s == 0 ? 2 : 7; }), core::Exception);
    EXPECT_FALSE(Batch::check(with(&Batch::Update::deletedSections, { 0 }), old, 1, [](int) { return 6; }));
    EXPECT_THROW(Batch::check(with(&Batch::Update::deletedSections, { 0 }), old, 2, [](int) { return 6; }), core::Exception);
    EXPECT_THROW(Batch::check(with(&Batch::Update::deletedSections, { 2 }), old, 1, [](int) { return 6; }), core::Exception);
}

TEST(TableViewBatchUpdatesTest, AMoveShiftsTheRowsBetween)
{
    auto old = geometryOf({ 2, 3 });
    const IndexPath from { 1, 0 }, to { 0, 1 };
    EXPECT_NO_THROW(Batch::checkMove(old, from, to));
    EXPECT_NO_THROW(Batch::checkMove(old, from, { 0, 2 })); // after the last row of another section
    EXPECT_THROW(Batch::checkMove(old, from, { 1, 3 }), core::Exception);
    EXPECT_THROW(Batch::checkMove(old, { 2, 0 }, to), core::Exception);
    EXPECT_EQ(Batch::moved(from, from, to), to);
    EXPECT_EQ(Batch::moved({ 0, 0 }, from, to), (IndexPath { 0, 0 }));
    EXPECT_EQ(Batch::moved({ 0, 1 }, from, to), (IndexPath { 0, 2 }));
    EXPECT_EQ(Batch::moved({ 1, 2 }, from, to), (IndexPath { 1, 1 }));
}

} // namespace
