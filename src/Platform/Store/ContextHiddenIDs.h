#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_set>

namespace store {

class ContextTable;
class Object;

// What a context's pending deletions hide: the ID of every object deleted
// and not yet saved and of everything below it, as the tree stands with the
// unsaved changes (new objects under their parents, moved ones under their
// new parents and no longer under the stored ones). Worked out when first
// asked and kept until the context says the tree changed. Without moves a
// deleted stored object's subtree is read in one recursive query. The
// context owns it, with the maps of changes it reads.
class ContextHiddenIDs {
public:
    using ObjectMap = std::map<int64_t, std::shared_ptr<Object>>;

    ContextHiddenIDs(ContextTable& table, const ObjectMap& inserted, const ObjectMap& updated, const ObjectMap& deleted)
        : m_table(table), m_inserted(inserted), m_updated(updated), m_deleted(deleted)
    {
    }
    ContextHiddenIDs(const ContextHiddenIDs&) = delete;
    ContextHiddenIDs& operator=(const ContextHiddenIDs&) = delete;

    const std::unordered_set<int64_t>& ids();
    void invalidate() { m_hidden.reset(); }

private:
    ContextTable& m_table;
    const ObjectMap& m_inserted;
    const ObjectMap& m_updated;
    const ObjectMap& m_deleted;
    std::optional<std::unordered_set<int64_t>> m_hidden;
};

} // namespace store
