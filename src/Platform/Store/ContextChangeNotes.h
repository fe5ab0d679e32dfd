#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace store {

class Context;
class Object;

// A context's objects-did-change news: the objects inserted, updated and
// deleted since the last notice, posted once at the end of the run-loop
// pass in which they changed (a zero-delay perform on the current loop,
// which holds the context weakly) or at once when the context asks (before
// a save). An object inserted and changed in one pass is news once, as
// inserted. The context owns it and is the notification's sender.
class ContextChangeNotes {
public:
    enum Kind { Inserted, Updated, Deleted };

    explicit ContextChangeNotes(Context& context) : m_context(context) { }
    ContextChangeNotes(const ContextChangeNotes&) = delete;
    ContextChangeNotes& operator=(const ContextChangeNotes&) = delete;

    void note(const std::shared_ptr<Object>& object, Kind kind);
    // Posts the pending notice now (nothing when there is no news).
    void post();

private:
    using ChangeSet = std::unordered_map<int64_t, std::shared_ptr<Object>>;
    void schedule();

    Context& m_context;
    ChangeSet m_inserted;
    ChangeSet m_updated;
    ChangeSet m_deleted;
    bool m_scheduled = false;
};

} // namespace store
