#pragma once

#include "Platform/Core/Value.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Migration;
class Object;

enum class AttributeType {
    Text,
    // 64-bit; narrower numbers are read through their owner's accessors.
    Integer,
    Boolean,
    Double,
    // Stored as Unix seconds (a real number).
    Date,
};

struct Attribute {
    enum Options : unsigned { Transient = 1, Folded = 2 };
    Attribute(std::string name, AttributeType type, core::Value defaultValue = {}, unsigned options = 0)
        : name(std::move(name))
        , type(type)
        , defaultValue(std::move(defaultValue))
        , transient(options & Transient)
        , folded(options & Folded)
    {
    }

    std::string name;
    AttributeType type = AttributeType::Text;
    // What a new object holds, and what a missing (NULL) column reads as
    // through the typed accessors.
    core::Value defaultValue;
    // Kept in memory only: never written, never read back.
    bool transient = false;
    // A text whose case-folded form is kept beside it in its own column
    // (`foldedColumnName`), so that case-insensitive lookups use an index.
    bool folded = false;
};

// The persisted shape of one entity in code: its typed attributes, the
// `parent` relation that makes its objects one tree (a parent's deletion
// takes its subtree, ON DELETE CASCADE), indexes, the version kept in
// PRAGMA user_version and the steps that bring older files up to it.
//
// The table is named after the entity; its columns are `id` (the object's
// permanent ID), `parent` and the persisted attributes in order.
class Schema {
public:
    static constexpr size_t MaximumAttributes = 62;

    Schema(std::string entityName, int version);

    // Adds an attribute and answers its index, which objects use for fast
    // access. Names are plain identifiers; "id" and "parent" are taken.
    size_t addAttribute(Attribute attribute);
    void addIndex(std::string name, std::vector<std::string> columns);
    // A step from `fromVersion` to the next one, run in one transaction with
    // its version bump. Steps run in order of their versions.
    void addMigration(int fromVersion, std::function<void(Migration&)> step);
    void setVersion(int version) { m_version = version; }
    // Makes the objects of the entity (a subclass of store::Object).
    void setObjectFactory(std::function<std::shared_ptr<Object>()> factory);

    const std::string& entityName() const { return m_entityName; }
    int version() const { return m_version; }
    const std::vector<Attribute>& attributes() const { return m_attributes; }
    const Attribute& attribute(size_t index) const { return m_attributes.at(index); }
    std::optional<size_t> indexOfAttribute(std::string_view name) const;
    std::shared_ptr<Object> makeObject() const;

    // The persisted attributes' indexes, in column order.
    const std::vector<size_t>& persistedAttributes() const { return m_persisted; }
    // "<name>Folded".
    static std::string foldedColumnName(std::string_view attribute);
    // Every column of the table, "id" and "parent" first.
    std::vector<std::string> columnNames() const;

    // CREATE TABLE and CREATE INDEX statements of the current version.
    std::vector<std::string> createStatements() const;
    std::vector<std::string> createIndexStatements() const;

    struct Step {
        int fromVersion;
        std::function<void(Migration&)> apply;
    };
    // The steps from `version` up to the current one, in order; nothing when
    // a version between has no step.
    std::optional<std::vector<const Step*>> migrationPath(int version) const;

private:
    struct Index {
        std::string name;
        std::vector<std::string> columns;
    };

    std::string m_entityName;
    int m_version;
    std::vector<Attribute> m_attributes;
    std::vector<size_t> m_persisted;
    std::vector<Index> m_indexes;
    std::vector<Step> m_steps;
    std::function<std::shared_ptr<Object>()> m_factory;
};

// The case-insensitive form of a text that folded columns and lookups
// compare: Unicode case folding of its NFC form ("Straße" and "STRASSE"
// agree). Invalid UTF-8 bytes stand for U+FFFD.
std::string foldedText(std::string_view text);

// The value as an attribute of the type holds it, so that values compare
// alike in memory and in the file (1 for a boolean is true, 3 for a double
// 3.0, Unix seconds for a date). Null stays null.
core::Value coercedValue(const core::Value& value, AttributeType type);

// Quotes an identifier for SQL.
std::string quotedIdentifier(std::string_view name);

} // namespace store
