#include "Kit/URLResponseAdditions.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/PropertyList.h"

#include <limits>
#include <optional>
#include <string_view>

namespace {

// A decimal number, saturating at the largest int64_t; nothing for an empty
// or non-digit text.
std::optional<int64_t> decimal(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        value = value > (std::numeric_limits<int64_t>::max() - digit) / 10 ? std::numeric_limits<int64_t>::max()
                                                                           : value * 10 + digit;
    }
    return value;
}

// The complete length of "unit first-last/complete" or "unit */complete".
// A range whose end is not below the complete length describes no part of
// that whole, so the value gives no total then.
std::optional<int64_t> completeLength(std::string_view range)
{
    const size_t slash = range.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const auto total = decimal(core::ascii::trimmed(range.substr(slash + 1)));
    if (!total)
        return std::nullopt;
    std::string_view part = core::ascii::trimmed(range.substr(0, slash));
    const size_t space = part.find_first_of(" \t");
    part = space == std::string_view::npos ? std::string_view() : core::ascii::trimmed(part.substr(space + 1));
    if (part == "*")
        return total;
    const size_t dash = part.find('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    const auto first = decimal(part.substr(0, dash));
    const auto last = decimal(part.substr(dash + 1));
    if (!first || !last || *first > *last || *last >= *total)
        return std::nullopt;
    return total;
}

} // namespace

int64_t expectedTotalLength(const core::HTTPURLResponse& response)
{
    // "*" (unknown), anything that is not a plain decimal number and a value
    // that does not hold together fall back to the announced length.
    if (std::optional<std::string> range = response.header("Content-Range")) {
        if (auto total = completeLength(*range))
            return *total;
    }
    return response.expectedContentLength();
}

std::optional<std::string> valueForHTTPHeaderField(const core::HTTPURLResponse* response, std::string_view name)
{
    if (!response)
        return std::nullopt;
    return response->header(name);
}

core::Value archivedHeaderFields(const core::HeaderFields& fields)
{
    core::Value::Array array;
    for (const auto& [name, value] : fields.fields())
        array.push_back(core::Value::makeArray({ core::Value(name), core::Value(value) }));
    return core::Value(std::move(array));
}

std::optional<core::HeaderFields> unarchivedHeaderFields(const core::Value& value)
{
    core::HeaderFields fields;
    if (value.isNull())
        return fields;
    if (!value.isArray())
        return std::nullopt;
    for (const auto& field : value.array()) {
        if (!field.isArray() || field.array().size() != 2 || !field[0].isString() || !field[1].isString())
            return std::nullopt;
        if (!fields.add(field[0].string(), field[1].string()))
            return std::nullopt;
    }
    return fields;
}

std::string archivedResponse(const core::HTTPURLResponse& response)
{
    core::Value archive = core::Value::makeDictionary({
        { "URL", core::Value(response.url().absoluteString()) },
        { "StatusCode", core::Value(response.statusCode()) },
        { "Headers", archivedHeaderFields(response.headers()) },
        { "MIMEType", core::Value(response.mimeType()) },
    });
    return core::PropertyList::write(archive, core::PropertyList::Format::Binary).value_or(std::string());
}

std::optional<core::HTTPURLResponse> unarchivedResponse(std::string_view bytes)
{
    core::Value archive = core::PropertyList::read(bytes);
    if (!archive.isDictionary() || !archive["URL"].isString() || !archive["StatusCode"].isInteger())
        return std::nullopt;
    auto url = core::URL::parse(archive["URL"].string());
    auto headers = unarchivedHeaderFields(archive["Headers"]);
    int64_t status = archive["StatusCode"].integer();
    if (!url || !headers || status < 0 || status > 999)
        return std::nullopt;
    std::string mimeType = archive["MIMEType"].isString() ? archive["MIMEType"].string() : std::string();
    return core::HTTPURLResponse(*url, static_cast<int>(status), std::move(*headers), mimeType);
}
