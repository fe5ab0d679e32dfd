#include "Platform/Store/Predicate.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Store/Object.h"
#include "Platform/Store/Schema.h"

#include <fmt/format.h>

namespace store {

namespace {

const Attribute& storedAttribute(const Schema& schema, const std::string& key, size_t& index)
{
    auto found = schema.indexOfAttribute(key);
    if (!found || schema.attribute(*found).transient)
        throw core::Exception(core::Exception::InvalidArgument,
            fmt::format("No stored attribute \"{}\" in {}", key, schema.entityName()));
    index = *found;
    return schema.attribute(index);
}

// Order as SQLite's comparison puts it for values of one column: numbers by
// value, texts byte by byte.
bool isGreater(const core::Value& value, const core::Value& than)
{
    if (value.isNull() || than.isNull())
        return false;
    if (value.isString() && than.isString())
        return value.string() > than.string();
    if (value.isDate() && than.isDate())
        return value.date() > than.date();
    if (value.isInteger() && than.isInteger())
        return value.integer() > than.integer();
    if ((value.isNumber() || value.isBool()) && (than.isNumber() || than.isBool()))
        return value.toReal() > than.toReal();
    return false;
}

} // namespace

Predicate::Predicate()
    : m_node(std::make_shared<Node>())
{
}

Predicate Predicate::equal(std::string key, core::Value value)
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::Equal;
    node->key = std::move(key);
    node->value = std::move(value);
    return Predicate(std::move(node));
}

Predicate Predicate::greaterThan(std::string key, core::Value value)
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::Greater;
    node->key = std::move(key);
    node->value = std::move(value);
    return Predicate(std::move(node));
}

Predicate Predicate::parentIs(const Object* parent)
{
    return parentIDIs(parent ? parent->objectID() : 0);
}

Predicate Predicate::parentIDIs(int64_t parentID)
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::Parent;
    node->parentID = parentID;
    return Predicate(std::move(node));
}

Predicate Predicate::equalFolded(std::string key, std::string text)
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::EqualFolded;
    node->key = std::move(key);
    node->value = core::Value(foldedText(text));
    return Predicate(std::move(node));
}

Predicate Predicate::contains(std::string key, std::string text)
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::Contains;
    node->key = std::move(key);
    node->value = core::Value(std::move(text));
    return Predicate(std::move(node));
}

Predicate Predicate::operator&&(const Predicate& other) const
{
    auto node = std::make_shared<Node>();
    node->kind = Kind::And;
    node->terms = { *this, other };
    return Predicate(std::move(node));
}

std::string Predicate::sql(const Schema& schema, std::vector<core::Value>& bindings) const
{
    const Node& node = *m_node;
    size_t index = 0;
    switch (node.kind) {
    case Kind::True:
        return "1";
    case Kind::Equal: {
        const Attribute& attribute = storedAttribute(schema, node.key, index);
        core::Value value = coercedValue(node.value, attribute.type);
        if (value.isNull())
            return quotedIdentifier(node.key) + " IS NULL";
        bindings.push_back(std::move(value));
        return quotedIdentifier(node.key) + " = ?";
    }
    case Kind::Greater: {
        const Attribute& attribute = storedAttribute(schema, node.key, index);
        bindings.push_back(coercedValue(node.value, attribute.type));
        return quotedIdentifier(node.key) + " > ?";
    }
    case Kind::Parent:
        if (node.parentID == 0)
            return "parent IS NULL";
        bindings.push_back(core::Value(node.parentID));
        return "parent = ?";
    case Kind::EqualFolded: {
        const Attribute& attribute = storedAttribute(schema, node.key, index);
        if (!attribute.folded)
            throw core::Exception(core::Exception::InvalidArgument, fmt::format("\"{}\" is not folded", node.key));
        bindings.push_back(node.value);
        return quotedIdentifier(Schema::foldedColumnName(node.key)) + " = ?";
    }
    case Kind::Contains:
        storedAttribute(schema, node.key, index);
        bindings.push_back(node.value);
        return fmt::format("{}({}, ?)", ContainsFunctionName, quotedIdentifier(node.key));
    case Kind::And: {
        std::string clause;
        for (const auto& term : node.terms) {
            if (!clause.empty())
                clause += " AND ";
            clause += "(" + term.sql(schema, bindings) + ")";
        }
        return clause;
    }
    }
    return "0";
}

bool Predicate::evaluate(const Object& object) const
{
    const Node& node = *m_node;
    const Schema* schema = object.schema();
    size_t index = 0;
    switch (node.kind) {
    case Kind::True:
        return true;
    case Kind::Equal: {
        const Attribute& attribute = storedAttribute(*schema, node.key, index);
        core::Value value = coercedValue(node.value, attribute.type);
        const core::Value& held = object.valueAt(index);
        if (value.isNull())
            return held.isNull();
        return !held.isNull() && held == value;
    }
    case Kind::Greater: {
        const Attribute& attribute = storedAttribute(*schema, node.key, index);
        return isGreater(object.valueAt(index), coercedValue(node.value, attribute.type));
    }
    case Kind::Parent:
        return object.parentID() == node.parentID;
    case Kind::EqualFolded: {
        storedAttribute(*schema, node.key, index);
        const core::Value& held = object.valueAt(index);
        return held.isString() && foldedText(held.string()) == node.value.string();
    }
    case Kind::Contains: {
        storedAttribute(*schema, node.key, index);
        const core::Value& held = object.valueAt(index);
        return held.isString() && core::containsIgnoringCaseDiacriticsWidth(held.string(), node.value.string());
    }
    case Kind::And:
        for (const auto& term : node.terms) {
            if (!term.evaluate(object))
                return false;
        }
        return true;
    }
    return false;
}

std::optional<int64_t> Predicate::requiredParentID() const
{
    if (m_node->kind == Kind::Parent)
        return m_node->parentID;
    if (m_node->kind == Kind::And) {
        for (const auto& term : m_node->terms) {
            if (auto parent = term.requiredParentID())
                return parent;
        }
    }
    return std::nullopt;
}

std::optional<std::string> Predicate::requiredFoldedText(std::string_view key) const
{
    const Node& node = *m_node;
    if (node.kind == Kind::Equal && node.key == key && node.value.isString())
        return foldedText(node.value.string());
    if (node.kind == Kind::EqualFolded && node.key == key)
        return node.value.string();
    if (node.kind == Kind::And) {
        for (const auto& term : node.terms) {
            if (auto text = term.requiredFoldedText(key))
                return text;
        }
    }
    return std::nullopt;
}

std::string Predicate::description() const
{
    const Node& node = *m_node;
    switch (node.kind) {
    case Kind::True:
        return "TRUEPREDICATE";
    case Kind::Equal:
        return fmt::format("{} == {}", node.key, node.value.description());
    case Kind::Greater:
        return fmt::format("{} > {}", node.key, node.value.description());
    case Kind::Parent:
        return node.parentID ? fmt::format("parent == {}", node.parentID) : std::string("parent == nil");
    case Kind::EqualFolded:
        return fmt::format("{} ==[c] {}", node.key, node.value.description());
    case Kind::Contains:
        return fmt::format("{} CONTAINS[cd] {}", node.key, node.value.description());
    case Kind::And: {
        std::string text;
        for (const auto& term : node.terms) {
            if (!text.empty())
                text += " AND ";
            text += term.description();
        }
        return text;
    }
    }
    return {};
}

} // namespace store
