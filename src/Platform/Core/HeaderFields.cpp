#include "Platform/Core/HeaderFields.h"

#include "Platform/Core/ASCII.h"

#include <algorithm>
#include <array>

namespace core {

namespace {

// The characters of a token, as a table: every header of every request and
// answer is checked against it.
constexpr std::array<bool, 256> tokenCharacters = [] {
    std::array<bool, 256> table {};
    for (int c = 0; c < 256; ++c)
        table[static_cast<size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    for (char c : std::string_view("!#$%&'*+-.^_`|~"))
        table[static_cast<unsigned char>(c)] = true;
    return table;
}();

bool isTokenCharacter(char c)
{
    return tokenCharacters[static_cast<unsigned char>(c)];
}

} // namespace

HeaderFields::HeaderFields(std::initializer_list<Field> fields)
{
    for (const auto& [name, value] : fields)
        add(name, value);
}

std::optional<std::string> HeaderFields::value(std::string_view name) const
{
    for (const auto& field : m_fields) {
        if (ascii::equalIgnoringCase(field.first, name))
            return field.second;
    }
    return std::nullopt;
}

std::vector<std::string> HeaderFields::values(std::string_view name) const
{
    std::vector<std::string> result;
    for (const auto& field : m_fields) {
        if (ascii::equalIgnoringCase(field.first, name))
            result.push_back(field.second);
    }
    return result;
}

bool HeaderFields::contains(std::string_view name) const
{
    return std::any_of(m_fields.begin(), m_fields.end(), [name](const Field& field) { return ascii::equalIgnoringCase(field.first, name); });
}

bool HeaderFields::set(std::string_view name, std::string_view value)
{
    if (!isValidName(name) || !isValidValue(value))
        return false;
    auto first = std::find_if(m_fields.begin(), m_fields.end(), [name](const Field& field) { return ascii::equalIgnoringCase(field.first, name); });
    if (first == m_fields.end()) {
        m_fields.emplace_back(name, value);
        return true;
    }
    first->second = value;
    m_fields.erase(std::remove_if(first + 1, m_fields.end(), [name](const Field& field) { return ascii::equalIgnoringCase(field.first, name); }),
        m_fields.end());
    return true;
}

bool HeaderFields::add(std::string_view name, std::string_view value)
{
    if (!isValidName(name) || !isValidValue(value))
        return false;
    m_fields.emplace_back(name, value);
    return true;
}

void HeaderFields::remove(std::string_view name)
{
    std::erase_if(m_fields, [name](const Field& field) { return ascii::equalIgnoringCase(field.first, name); });
}

bool HeaderFields::isValidName(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), isTokenCharacter);
}

bool HeaderFields::isValidValue(std::string_view value)
{
    // A plain loop: find_first_of looks each character up in the set.
    return std::none_of(value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

} // namespace core
