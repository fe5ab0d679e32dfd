#pragma once

#include "Platform/Core/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Object;
class Schema;

// A condition on the objects of one entity, from a closed set that runs both
// in SQL (against the stored rows) and in C++ (against objects with unsaved
// changes), with the same answers: attribute equality and order, the parent,
// texts equal exactly or case-insensitively, texts containing a query with
// case, diacritics and width ignored, and conjunctions of these.
class Predicate {
public:
    // Every object.
    Predicate();

    // `key` equal to `value` (a null value: the attribute has none).
    static Predicate equal(std::string key, core::Value value);
    // `key` greater than `value` (numbers, dates, texts in byte order).
    static Predicate greaterThan(std::string key, core::Value value);
    // The parent is the object, or (null) the object has no parent.
    static Predicate parentIs(const Object* parent);
    static Predicate parentIs(const std::shared_ptr<Object>& parent) { return parentIs(parent.get()); }
    static Predicate parentIDIs(int64_t parentID);
    // A folded text attribute equal to `text` after case folding.
    static Predicate equalFolded(std::string key, std::string text);
    // A text attribute containing `text`, case, diacritics and width ignored
    // (an empty text is contained nowhere).
    static Predicate contains(std::string key, std::string text);

    Predicate operator&&(const Predicate& other) const;

    // The predicate's WHERE clause for the schema's table, with its values in
    // `bindings` in the order of their "?"s. Throws NSInvalidArgumentException
    // for a key that is no persisted attribute (or not a folded one where a
    // folded column is needed).
    std::string sql(const Schema& schema, std::vector<core::Value>& bindings) const;
    // Whether the object (of that schema) satisfies it, as it is in memory.
    bool evaluate(const Object& object) const;

    std::string description() const;
    // The parent every match must have, when the predicate says so (itself
    // or a term of its conjunction), so that pending objects are looked up
    // by parent rather than all tried.
    std::optional<int64_t> requiredParentID() const;
    // The case-folded text a text attribute must equal (exactly or folded),
    // when the predicate says so, for the same purpose.
    std::optional<std::string> requiredFoldedText(std::string_view key) const;

private:
    enum class Kind { True, Equal, Greater, Parent, EqualFolded, Contains, And };
    struct Node {
        Kind kind = Kind::True;
        std::string key;
        core::Value value;
        int64_t parentID = 0;
        std::vector<Predicate> terms;
    };
    explicit Predicate(std::shared_ptr<const Node> node) : m_node(std::move(node)) { }

    std::shared_ptr<const Node> m_node;
};

// The name of the SQL function that the containment test registers on every
// connection.
inline constexpr const char* ContainsFunctionName = "store_contains";

} // namespace store
