#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace store {

class Object;
class Predicate;
class Schema;

// A context's pending objects (inserted, or changed and not yet saved) by
// their current parent, and by parent and folded name when the schema has a
// folded attribute (the first one: name lookups go by it), so that finding
// a child by name stays cheap however many children wait to be saved. The
// context owns it and tells it where each pending object now stands.
class ContextPendingIndex {
public:
    explicit ContextPendingIndex(const Schema& schema);

    // Files the object under its parent and name (again when they changed).
    void track(const Object& object);
    void untrack(int64_t id);
    bool contains(int64_t id) const { return m_places.contains(id); }
    void clear();
    // The IDs of the pending objects a predicate that requires a parent (and
    // perhaps a name) can match; nothing when it requires no parent, since
    // any pending object may match then.
    const std::unordered_set<int64_t>* candidates(const Predicate& predicate) const;

private:
    struct Place {
        int64_t parent;
        std::string name;
        std::string key;
    };
    static std::string nameKey(int64_t parent, std::string_view foldedName);

    std::optional<size_t> m_nameIndex;
    std::string m_nameAttribute;
    std::unordered_map<int64_t, Place> m_places;
    std::unordered_map<int64_t, std::unordered_set<int64_t>> m_byParent;
    std::unordered_map<std::string, std::unordered_set<int64_t>> m_byName;
};

} // namespace store
