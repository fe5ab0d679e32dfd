#include "Kit/URLResponseAdditions.h"

#include "Platform/Core/ASCII.h"

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
