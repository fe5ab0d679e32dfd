#pragma once

// The cells a table scrolled out, queued by reuse identifier until a row of
// that kind shows again. It holds no more cells than the most the table has
// shown at once, less those showing now: queued cells beyond that go,
// oldest first from the longest queue, so a list of two kinds of row
// scrolled from one kind into the other keeps one screenful, not one of
// each. Cells without an identifier are not kept.

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace ui {

class TableViewCell;

class TableViewReuseQueue {
public:
    // Takes the cell out of its superview and queues it.
    void enqueue(std::shared_ptr<TableViewCell> cell);
    // A queued cell of that identifier, prepared for reuse, or null.
    std::shared_ptr<TableViewCell> dequeue(const std::string& identifier);
    // Called with the number of cells shown after each layout.
    void trim(size_t shown);
    size_t size() const;

private:
    std::unordered_map<std::string, std::vector<std::shared_ptr<TableViewCell>>> m_queues;
    size_t m_mostShown = 0;
};

} // namespace ui
