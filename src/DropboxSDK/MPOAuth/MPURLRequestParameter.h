#pragma once

#include "Platform/Core/Value.h"

#include <compare>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One name and value of a request's query or form body, as OAuth signs it.
// The texts are kept unescaped; they are escaped (MPURLEscapingAdditions.h)
// only when written into a parameter string. A value.
class MPURLRequestParameter {
public:
    using List = std::vector<MPURLRequestParameter>;

    MPURLRequestParameter(std::string name, std::optional<std::string> value);

    const std::string& name() const { return m_name; }
    const std::optional<std::string>& value() const { return m_value; }

    // "name=value", both escaped; no value gives "name=".
    std::string URLEncodedParameterString() const;
    // By name, then by value, comparing the unescaped bytes; no value sorts
    // before every value.
    std::strong_ordering compare(const MPURLRequestParameter& other) const;
    bool operator==(const MPURLRequestParameter& other) const = default;
    // "<MPURLRequestParameter: name=value>".
    std::string description() const;

    // The URLEncodedParameterString of each, in order, joined by "&"; "" for none.
    static std::string parameterStringForParameters(const List& parameters);
    // One parameter per entry, in the dictionary's order; a string is taken
    // as it is, a number or boolean as its description, null as no value.
    static List parametersFromDictionary(const core::Value::Dictionary& dictionary);
    static std::string parameterStringForDictionary(const core::Value::Dictionary& dictionary);

    // The pairs of "name=value&name=value", in order. Values are
    // percent-decoded (an escape that does not decode to UTF-8 stays as
    // written); names are taken as they stand. Empty pieces are skipped; a
    // piece without "=" is a name with an empty value.
    static List parametersFromString(std::string_view text);
    // The same as a dictionary: a later pair replaces an earlier one of the
    // same name. No text gives an empty dictionary.
    static core::Value::Dictionary parameterDictionaryFromString(std::optional<std::string_view> text);

private:
    std::string m_name;
    std::optional<std::string> m_value;
};
