#pragma once

#include "Platform/Core/Date.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/ObserverList.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Context;
class Schema;

// One persisted object: a permanent 64-bit ID (given at insertion, never
// changed), a value per attribute of its schema and a parent. It belongs to
// the context (and so the thread) that made or fetched it; one context holds
// at most one object per ID.
//
// Setting a value that differs marks the attribute changed in the context
// and tells that key's observers at once; a transient attribute only tells
// its observers. An object whose row was deleted, or that lies in a subtree
// deleted and not yet saved, is not valid.
class Object : public core::Object {
public:
    // A plain object, for schemas without a class of their own.
    static std::shared_ptr<Object> create();
    ~Object() override;

    int64_t objectID() const { return m_id; }
    const Schema* schema() const { return m_schema.get(); }
    std::shared_ptr<Context> context() const { return m_context.lock(); }

    bool isValid() const;
    bool isInserted() const { return m_inserted; }
    // Deleted in its context (saved or not).
    bool isDeleted() const;
    bool hasChanges() const { return m_inserted || m_changed != 0 || m_pendingDelete; }

    const core::Value& valueAt(size_t index) const;
    // The value is converted to the attribute's type first (1 for a
    // boolean is true).
    void setValueAt(size_t index, core::Value value);
    std::string stringAt(size_t index) const;
    int64_t integerAt(size_t index) const;
    bool boolAt(size_t index) const;
    double doubleAt(size_t index) const;
    std::optional<core::Date> dateAt(size_t index) const;

    // Attributes by name; "objectID" reads the ID. Unknown keys throw
    // NSUnknownKeyException.
    core::Value valueForKey(std::string_view key) const override;
    void setValueForKey(const core::Value& value, std::string_view key) override;

    int64_t parentID() const { return m_parentID; }
    // The parent in the same context (fetched when not yet held); nothing
    // when it is gone or lies in a pending deletion.
    std::shared_ptr<Object> parentObject() const;
    void setParent(const std::shared_ptr<Object>& parent);

    // Calls `handler` after each change of the key's value ("parent" for the
    // parent), whether made here or merged from another context's save.
    core::Observation observe(std::string_view key, std::function<void()> handler);

    size_t hash() const override;
    std::string description() const override;

protected:
    Object();
    // Called once when the object is inserted into a context (set initial
    // values here), and when it is deleted.
    virtual void awakeFromInsert() { }
    virtual void prepareForDeletion() { }

private:
    friend class Context;
    friend class ContextHiddenIDs;
    static constexpr int ParentBit = 63;

    size_t checkedIndex(std::string_view key) const;
    void notify(std::string_view key) const;
    void notifyAttribute(size_t index) const;
    bool isChanged(int bit) const { return (m_changed >> bit) & 1; }

    int64_t m_id = 0;
    int64_t m_parentID = 0;
    std::shared_ptr<const Schema> m_schema;
    std::weak_ptr<Context> m_context;
    std::vector<core::Value> m_values;
    // Bit per attribute index, and ParentBit: changed since the last save.
    uint64_t m_changed = 0;
    bool m_inserted = false;
    bool m_pendingDelete = false;
    bool m_gone = false;
    bool m_hasTransientValues = false;
    mutable std::unique_ptr<std::map<std::string, std::unique_ptr<core::ObserverList<>>, std::less<>>> m_observers;
    // The parent once looked up, held so that a held object keeps its way to
    // the root (paths are built from it over and over).
    mutable std::shared_ptr<Object> m_parent;
};

} // namespace store
