#include "Platform/Store/Schema.h"

#include "Platform/Core/Exception.h"
#include "Platform/Store/Object.h"

#include <algorithm>
#include <fmt/format.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace store {

namespace {

const char* sqlType(AttributeType type)
{
    switch (type) {
    case AttributeType::Text:
        return "TEXT";
    case AttributeType::Integer:
    case AttributeType::Boolean:
        return "INTEGER";
    case AttributeType::Double:
    case AttributeType::Date:
        return "REAL";
    }
    return "BLOB";
}

bool isIdentifier(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

} // namespace

Schema::Schema(std::string entityName, int version)
    : m_entityName(std::move(entityName))
    , m_version(version)
{
    if (!isIdentifier(m_entityName))
        throw core::Exception(core::Exception::InvalidArgument, "Entity names are plain identifiers");
}

size_t Schema::addAttribute(Attribute attribute)
{
    if (!isIdentifier(attribute.name) || attribute.name == "id" || attribute.name == "parent"
        || indexOfAttribute(attribute.name))
        throw core::Exception(core::Exception::InvalidArgument, fmt::format("Bad attribute name \"{}\"", attribute.name));
    if (m_attributes.size() >= MaximumAttributes)
        throw core::Exception(core::Exception::InvalidArgument, "Too many attributes");
    if (attribute.folded && attribute.type != AttributeType::Text)
        throw core::Exception(core::Exception::InvalidArgument, "Only texts are folded");
    size_t index = m_attributes.size();
    if (!attribute.transient)
        m_persisted.push_back(index);
    m_attributes.push_back(std::move(attribute));
    return index;
}

void Schema::addIndex(std::string name, std::vector<std::string> columns)
{
    m_indexes.push_back({ std::move(name), std::move(columns) });
}

void Schema::addMigration(int fromVersion, std::function<void(Migration&)> step)
{
    m_steps.push_back({ fromVersion, std::move(step) });
    std::stable_sort(m_steps.begin(), m_steps.end(),
        [](const Step& a, const Step& b) { return a.fromVersion < b.fromVersion; });
}

void Schema::setObjectFactory(std::function<std::shared_ptr<Object>()> factory)
{
    m_factory = std::move(factory);
}

std::optional<size_t> Schema::indexOfAttribute(std::string_view name) const
{
    for (size_t index = 0; index < m_attributes.size(); ++index) {
        if (m_attributes[index].name == name)
            return index;
    }
    return std::nullopt;
}

std::shared_ptr<Object> Schema::makeObject() const
{
    if (m_factory)
        return m_factory();
    return Object::create();
}

std::string Schema::foldedColumnName(std::string_view attribute)
{
    return std::string(attribute) + "Folded";
}

std::vector<std::string> Schema::columnNames() const
{
    std::vector<std::string> names { "id", "parent" };
    for (size_t index : m_persisted) {
        names.push_back(m_attributes[index].name);
        if (m_attributes[index].folded)
            names.push_back(foldedColumnName(m_attributes[index].name));
    }
    return names;
}

std::vector<std::string> Schema::createStatements() const
{
    std::string table = quotedIdentifier(m_entityName);
    std::string sql = fmt::format("CREATE TABLE {} (id INTEGER PRIMARY KEY, parent INTEGER REFERENCES {}(id) "
                                  "ON DELETE CASCADE",
        table, table);
    for (size_t index : m_persisted) {
        const Attribute& attribute = m_attributes[index];
        sql += fmt::format(", {} {}", quotedIdentifier(attribute.name), sqlType(attribute.type));
        if (attribute.folded)
            sql += fmt::format(", {} TEXT", quotedIdentifier(foldedColumnName(attribute.name)));
    }
    sql += ")";
    std::vector<std::string> statements { sql };
    auto indexes = createIndexStatements();
    statements.insert(statements.end(), indexes.begin(), indexes.end());
    return statements;
}

std::vector<std::string> Schema::createIndexStatements() const
{
    std::vector<std::string> statements;
    for (const auto& index : m_indexes) {
        std::string columns;
        for (const auto& column : index.columns) {
            if (!columns.empty())
                columns += ", ";
            columns += quotedIdentifier(column);
        }
        statements.push_back(fmt::format("CREATE INDEX IF NOT EXISTS {} ON {} ({})", quotedIdentifier(index.name),
            quotedIdentifier(m_entityName), columns));
    }
    return statements;
}

std::optional<std::vector<const Schema::Step*>> Schema::migrationPath(int version) const
{
    std::vector<const Step*> path;
    for (int from = version; from < m_version; ++from) {
        auto step = std::find_if(m_steps.begin(), m_steps.end(), [&](const Step& s) { return s.fromVersion == from; });
        if (step == m_steps.end())
            return std::nullopt;
        path.push_back(&*step);
    }
    return path;
}

std::string foldedText(std::string_view text)
{
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString normalized = nfc->normalize(unicode, status);
        if (U_SUCCESS(status))
            unicode = normalized;
    }
    unicode.foldCase();
    std::string folded;
    unicode.toUTF8String(folded);
    return folded;
}

core::Value coercedValue(const core::Value& value, AttributeType type)
{
    if (value.isNull())
        return value;
    switch (type) {
    case AttributeType::Text:
        return value.isString() ? value : core::Value(value.toString());
    case AttributeType::Integer:
        return value.isInteger() ? value : core::Value(value.toInteger());
    case AttributeType::Boolean:
        return value.isBool() ? value : core::Value(value.toBool());
    case AttributeType::Double:
        return value.isReal() ? value : core::Value(value.toReal());
    case AttributeType::Date:
        if (value.isDate())
            return value;
        return value.isNumber() ? core::Value(core::Date::fromUnixTime(value.toReal())) : core::Value();
    }
    return value;
}

std::string quotedIdentifier(std::string_view name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

} // namespace store
