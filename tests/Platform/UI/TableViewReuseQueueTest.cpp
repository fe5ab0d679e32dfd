// Queued cells are handed out newest first and prepared; the queue keeps no
// more than the most cells shown at once less those showing, dropping the
// oldest of the longest queue first.

#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewReuseQueue.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<ui::TableViewCell> cell(const std::string& identifier)
{
    return std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, identifier);
}

TEST(TableViewReuseQueueTest, KeepsTheNewestOfTheLongestQueue)
{
    ui::TableViewReuseQueue queue;
    queue.trim(4); // four shown at once, while none waited
    auto a1 = cell("a"), a2 = cell("a"), a3 = cell("a"), b1 = cell("b");
    for (auto& c : { a1, a2, a3, b1, cell("") })
        queue.enqueue(c);
    EXPECT_EQ(queue.size(), 4u); // no identifier, not kept
    queue.trim(2); // two show now: two may wait
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.dequeue("a"), a3);
    EXPECT_EQ(queue.dequeue("a"), nullptr);
    EXPECT_EQ(queue.dequeue("b"), b1);
    EXPECT_EQ(queue.dequeue("c"), nullptr);
}

} // namespace
