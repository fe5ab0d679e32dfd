#include "Platform/Core/HTTPURLResponse.h"

#include <algorithm>
#include <strings.h>

namespace core {

namespace {

constexpr std::string_view kWhitespace = " \t";

std::string_view trimmed(std::string_view text)
{
    const size_t begin = text.find_first_not_of(kWhitespace);
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(kWhitespace) - begin + 1);
}

std::string lowercased(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return result;
}

// A plain decimal number that fits 63 bits; -1 otherwise.
int64_t contentLength(std::string_view text)
{
    text = trimmed(text);
    if (text.empty() || text.size() > 18)
        return -1;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The "charset" parameter of a Content-Type value: parameters are
// `; name=value` with the value a token or a quoted string, in which ";" and
// escaped quotes may stand.
std::string charsetParameter(std::string_view parameters)
{
    size_t i = 0;
    while (i < parameters.size()) {
        if (parameters[i] != ';') {
            ++i;
            continue;
        }
        ++i;
        const size_t nameEnd = parameters.find_first_of("=;", i);
        const std::string_view name = trimmed(parameters.substr(i, nameEnd - i));
        if (nameEnd == std::string_view::npos || parameters[nameEnd] == ';') {
            i = nameEnd;
            continue;
        }
        i = std::min(parameters.find_first_not_of(kWhitespace, nameEnd + 1), parameters.size());
        std::string value;
        if (i < parameters.size() && parameters[i] == '"') {
            for (++i; i < parameters.size() && parameters[i] != '"'; ++i) {
                if (parameters[i] == '\\' && i + 1 < parameters.size())
                    ++i;
                value += parameters[i];
            }
            if (i < parameters.size())
                ++i;
        } else {
            const size_t valueEnd = parameters.find(';', i);
            value = trimmed(parameters.substr(i, valueEnd == std::string_view::npos ? std::string_view::npos : valueEnd - i));
            i = valueEnd;
        }
        if (name.size() == 7 && strncasecmp(name.data(), "charset", 7) == 0)
            return lowercased(trimmed(value));
    }
    return {};
}

} // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HeaderFields headers)
    : m_url(std::move(url))
    , m_statusCode(statusCode)
    , m_headers(std::move(headers))
{
    // Two lengths that disagree leave the length unknown.
    const auto lengths = m_headers.values("Content-Length");
    for (size_t i = 0; i < lengths.size(); ++i) {
        const int64_t length = contentLength(lengths[i]);
        m_expectedContentLength = i == 0 || length == m_expectedContentLength ? length : -1;
    }

    if (const auto contentType = m_headers.value("Content-Type")) {
        const std::string_view text = *contentType;
        const size_t semicolon = text.find(';');
        m_mimeType = lowercased(trimmed(text.substr(0, semicolon)));
        if (semicolon != std::string_view::npos)
            m_textEncodingName = charsetParameter(text.substr(semicolon));
    }
}

} // namespace core
