// fuzz: tandry_kit
// A server's response head as URL loading takes it from curl, one header
// line at a time: whatever the lines, the status is the status line's own
// code, no field handed on holds a line break, the Location
// check agrees with the scheme the value names, and the response made from
// the head answers a content length, a total from "Content-Range" that
// covers the range it describes, and a file name that is safe to join to a
// folder.

#include "FuzzCheck.h"

#include "Kit/URLResponseAdditions.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/ResponseHead.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string lowercased(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = isAlpha(c) ? char(c | 0x20) : c;
    return lower;
}

// The code a status line gives: three digits after the version, standing
// alone; anything else is no code.
int expectedStatus(std::string_view line)
{
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4)
        return 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (!isDigit(line[i]))
            return 0;
    }
    if (line.size() > space + 4 && line[space + 4] != ' ')
        return 0;
    return std::stoi(std::string(line.substr(space + 1, 3)));
}

// The scheme of a URI reference (a letter, then letters, digits, "+", "-"
// or "."; then ":"), empty for a relative reference.
std::string schemeOf(std::string_view reference)
{
    if (reference.empty() || !isAlpha(reference.front()))
        return {};
    for (size_t i = 1; i < reference.size(); ++i) {
        if (reference[i] == ':')
            return lowercased(reference.substr(0, i));
        if (!isAlpha(reference[i]) && !isDigit(reference[i]) && reference[i] != '+' && reference[i] != '-'
            && reference[i] != '.')
            return {};
    }
    return {};
}

// "bytes first-last/complete": the end of the range, when the value is one.
std::optional<int64_t> rangeEnd(std::string_view value)
{
    if (!value.starts_with("bytes "))
        return std::nullopt;
    value.remove_prefix(6);
    const size_t dash = value.find('-');
    if (dash == std::string_view::npos || dash == 0)
        return std::nullopt;
    int64_t last = 0;
    size_t i = dash + 1;
    size_t digits = 0;
    for (; i < value.size() && isDigit(value[i]); ++i, ++digits) {
        if (last > (INT64_MAX - 9) / 10)
            return std::nullopt;
        last = last * 10 + (value[i] - '0');
    }
    if (!digits || i >= value.size() || value[i] != '/')
        return std::nullopt;
    return last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    net::ResponseHead head;
    int status = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        end = end == std::string_view::npos ? bytes.size() : end + 1;
        const std::string_view line = bytes.substr(start, end - start);
        start = end;

        std::string_view bare = line;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r'))
            bare.remove_suffix(1);
        const auto before = head.state();
        const auto after = head.addLine(line);
        if (bare.starts_with("HTTP/")) {
            status = expectedStatus(bare);
            FUZZ_CHECK(after == net::ResponseHead::State::Collecting);
            FUZZ_CHECK(head.fields().empty());
        } else if (before != net::ResponseHead::State::Collecting) {
            FUZZ_CHECK(after == before);
        } else if (bare.empty()) {
            FUZZ_CHECK(after == (status >= 100 && status < 200 ? net::ResponseHead::State::None : net::ResponseHead::State::Complete));
        }
        FUZZ_CHECK(head.statusCode() == status);
    }

    // The Location check against the scheme the first Location names.
    bool expected = false;
    if (head.state() == net::ResponseHead::State::Complete && status >= 300 && status < 400) {
        for (const auto& [name, value] : head.fields()) {
            if (lowercased(name) != "location")
                continue;
            const std::string scheme = schemeOf(value);
            expected = !scheme.empty() && scheme != "http" && scheme != "https";
            break;
        }
    }
    FUZZ_CHECK(head.redirectsToOtherScheme() == expected);

    if (head.state() != net::ResponseHead::State::Complete)
        return 0;
    static const core::URL url = *core::URL::parse("http://127.0.0.1/files/report%20final");
    core::HTTPURLResponse response(url, head.statusCode(), head.takeFields(), "application/octet-stream");
    FUZZ_CHECK(head.state() == net::ResponseHead::State::Reported);
    for (const auto& [name, value] : response.headers().fields())
        FUZZ_CHECK(!name.empty() && value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    FUZZ_CHECK(response.expectedContentLength() >= -1);
    FUZZ_CHECK(response.mimeType() == lowercased(response.mimeType()));

    const int64_t total = expectedTotalLength(response);
    FUZZ_CHECK(total >= -1);
    if (auto range = response.header("Content-Range")) {
        // A total is the size of the whole, so never short of the range
        // this response carries.
        if (auto last = rangeEnd(*range); last && total != response.expectedContentLength())
            FUZZ_CHECK(total > *last);
    }

    const std::string name = response.suggestedFilename();
    FUZZ_CHECK(!name.empty() && name != "." && name != "..");
    for (unsigned char c : name)
        FUZZ_CHECK(c != '/' && c != '\\' && c >= 0x20 && c != 0x7F);
    return 0;
}
