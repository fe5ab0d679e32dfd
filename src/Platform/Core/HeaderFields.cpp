#include "Platform/Core/HeaderFields.h"

#include "Platform/Core/ASCII.h"

#include <algorithm>

namespace core {

namespace {

bool isTokenCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
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
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

} // namespace core
