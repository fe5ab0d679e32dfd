#include "Platform/Store/ContextHiddenIDs.h"

#include "Platform/Core/Log.h"
#include "Platform/Store/Connection.h"
#include "Platform/Store/ContextTable.h"
#include "Platform/Store/Object.h"

#include <unordered_map>
#include <vector>

namespace store {

const std::unordered_set<int64_t>& ContextHiddenIDs::ids()
{
    if (m_hidden)
        return *m_hidden;
    std::unordered_set<int64_t> hidden;
    if (!m_deleted.empty()) {
        // Where the unsaved changes put objects: new ones, and moved ones,
        // which no longer follow their stored parent.
        std::unordered_multimap<int64_t, int64_t> pendingChildren;
        std::unordered_set<int64_t> moved;
        for (const auto& [id, object] : m_inserted)
            pendingChildren.emplace(object->m_parentID, id);
        for (const auto& [id, object] : m_updated) {
            if (object->isChanged(Object::ParentBit)) {
                pendingChildren.emplace(object->m_parentID, id);
                moved.insert(id);
            }
        }
        std::vector<int64_t> queue;
        bool wholeSubtrees = moved.empty();
        try {
            for (const auto& [id, object] : m_deleted) {
                if (wholeSubtrees && !object->m_inserted) {
                    auto subtree = m_table.storedSubtree(id);
                    queue.insert(queue.end(), subtree.begin(), subtree.end());
                } else {
                    queue.push_back(id);
                }
            }
            while (!queue.empty()) {
                int64_t id = queue.back();
                queue.pop_back();
                if (!hidden.insert(id).second)
                    continue;
                if (!wholeSubtrees && !m_inserted.contains(id)) {
                    for (int64_t child : m_table.storedChildren(id)) {
                        if (!moved.contains(child))
                            queue.push_back(child);
                    }
                }
                auto range = pendingChildren.equal_range(id);
                for (auto it = range.first; it != range.second; ++it)
                    queue.push_back(it->second);
            }
        } catch (const Failure& failure) {
            core::log("Warning, failed to read a deleted subtree: {}", failure.message);
        }
    }
    m_hidden = std::move(hidden);
    return *m_hidden;
}

} // namespace store
