#include "Platform/UI/TableViewReuseQueue.h"

#include "Platform/UI/TableViewCell.h"

#include <algorithm>

namespace ui {

void TableViewReuseQueue::enqueue(std::shared_ptr<TableViewCell> cell)
{
    cell->removeFromSuperview();
    if (!cell->reuseIdentifier().empty())
        m_queues[cell->reuseIdentifier()].push_back(std::move(cell));
}

std::shared_ptr<TableViewCell> TableViewReuseQueue::dequeue(const std::string& identifier)
{
    auto it = m_queues.find(identifier);
    if (it == m_queues.end() || it->second.empty())
        return nullptr;
    auto cell = std::move(it->second.back());
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

size_t TableViewReuseQueue::size() const
{
    size_t queued = 0;
    for (auto& [identifier, cells] : m_queues)
        queued += cells.size();
    return queued;
}

void TableViewReuseQueue::trim(size_t shown)
{
    m_mostShown = std::max(m_mostShown, shown);
    size_t queued = size();
    while (queued > m_mostShown - shown) {
        auto longest = std::max_element(m_queues.begin(), m_queues.end(),
            [](auto& a, auto& b) { return a.second.size() < b.second.size(); });
        longest->second.erase(longest->second.begin());
        --queued;
    }
}

} // namespace ui
