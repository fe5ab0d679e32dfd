#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// The header fields of an HTTP request or response: kept in the order they
// were given, looked up by name ignoring case. Names must be HTTP tokens and
// values may hold no CR, LF or NUL, so nothing set here can split a header
// when it is sent.
class HeaderFields {
public:
    using Field = std::pair<std::string, std::string>;

    HeaderFields() = default;
    // Fields that are not valid are left out.
    HeaderFields(std::initializer_list<Field> fields);

    const std::vector<Field>& fields() const { return m_fields; }
    bool empty() const { return m_fields.empty(); }
    size_t size() const { return m_fields.size(); }

    // The value of the first field of that name.
    std::optional<std::string> value(std::string_view name) const;
    // The values of every field of that name, in order.
    std::vector<std::string> values(std::string_view name) const;
    bool contains(std::string_view name) const;
    // Replaces the first field of that name (in its place) and drops the
    // others, or appends one. False, and nothing changed, for a bad name or
    // value.
    bool set(std::string_view name, std::string_view value);
    // Appends a field even when one of that name exists.
    bool add(std::string_view name, std::string_view value);
    void remove(std::string_view name);

    static bool isValidName(std::string_view name);
    static bool isValidValue(std::string_view value);

private:
    std::vector<Field> m_fields;
};

} // namespace core
