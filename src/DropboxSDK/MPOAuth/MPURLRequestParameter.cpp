#include "DropboxSDK/MPOAuth/MPURLRequestParameter.h"

#include "DropboxSDK/MPOAuth/MPURLEscapingAdditions.h"
#include "Platform/Core/PercentEscape.h"

#include <fmt/format.h>

namespace {

struct Pair {
    std::string_view name;
    std::string value;
};

// Calls `each` with every piece of "a=b&c=d" that is not empty.
template<typename Each>
void scanPairs(std::string_view text, Each each)
{
    while (!text.empty()) {
        size_t end = text.find('&');
        std::string_view piece = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (piece.empty())
            continue;
        size_t equals = piece.find('=');
        std::string_view name = piece.substr(0, equals);
        std::string_view raw = equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
        std::optional<std::string> value = core::percentUnescape(raw);
        each(Pair { name, value ? std::move(*value) : std::string(raw) });
    }
}

} // namespace

MPURLRequestParameter::MPURLRequestParameter(std::string name, std::optional<std::string> value)
    : m_name(std::move(name))
    , m_value(std::move(value))
{
}

std::string MPURLRequestParameter::URLEncodedParameterString() const
{
    return fmt::format("{}={}", stringByAddingURIPercentEscapesUsingEncoding(m_name),
        m_value ? stringByAddingURIPercentEscapesUsingEncoding(*m_value) : std::string());
}

std::strong_ordering MPURLRequestParameter::compare(const MPURLRequestParameter& other) const
{
    if (auto order = m_name.compare(other.m_name); order != 0)
        return order <=> 0;
    return m_value <=> other.m_value;
}

std::string MPURLRequestParameter::description() const
{
    return fmt::format("<MPURLRequestParameter: {}>", URLEncodedParameterString());
}

std::string MPURLRequestParameter::parameterStringForParameters(const List& parameters)
{
    std::string result;
    for (const auto& parameter : parameters) {
        if (!result.empty())
            result += '&';
        result += parameter.URLEncodedParameterString();
    }
    return result;
}

MPURLRequestParameter::List MPURLRequestParameter::parametersFromDictionary(const core::Value::Dictionary& dictionary)
{
    List parameters;
    parameters.reserve(dictionary.size());
    for (const auto& [name, value] : dictionary) {
        std::optional<std::string> text;
        if (value.isString())
            text = value.string();
        else if (!value.isNull())
            text = value.toString();
        parameters.emplace_back(name, std::move(text));
    }
    return parameters;
}

std::string MPURLRequestParameter::parameterStringForDictionary(const core::Value::Dictionary& dictionary)
{
    return parameterStringForParameters(parametersFromDictionary(dictionary));
}

MPURLRequestParameter::List MPURLRequestParameter::parametersFromString(std::string_view text)
{
    List parameters;
    scanPairs(text, [&](Pair pair) { parameters.emplace_back(std::string(pair.name), std::move(pair.value)); });
    return parameters;
}

core::Value::Dictionary MPURLRequestParameter::parameterDictionaryFromString(std::optional<std::string_view> text)
{
    core::Value::Dictionary dictionary;
    if (text)
        scanPairs(*text, [&](Pair pair) { dictionary.insert_or_assign(std::string(pair.name), core::Value(std::move(pair.value))); });
    return dictionary;
}
