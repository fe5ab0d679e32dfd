#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace store {

class Object;

// A context's identity map: at most one object per ID, held weakly, so a
// clean object leaves it when its last holder lets go (what holds objects
// with changes is the context's business). That can happen on any thread,
// so the map has a lock of its own. An entry goes only for the object it
// names: a newer object of the same ID keeps its place.
class ContextRegistry {
public:
    std::shared_ptr<Object> find(int64_t id) const;
    void add(const std::shared_ptr<Object>& object);
    // An object's end: its entry goes, and the table shrinks when a large
    // walk left it mostly empty.
    void forget(int64_t id, const Object* object);
    // An object that stops being valid.
    void drop(int64_t id, const Object* object);
    size_t count() const;
    void clear();

private:
    struct Registration {
        const Object* object;
        std::weak_ptr<Object> weak;
    };
    bool erase(int64_t id, const Object* object);

    mutable std::mutex m_mutex;
    std::unordered_map<int64_t, Registration> m_registry;
};

} // namespace store
