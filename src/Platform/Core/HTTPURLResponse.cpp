#include "Platform/Core/HTTPURLResponse.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"

#include <algorithm>

namespace core {

namespace {

constexpr std::string_view kWhitespace = " \t";

using ascii::lowercased;
using ascii::trimmed;

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

// A parameter of a header value ("text/html; charset=utf-8", "attachment;
// filename=x"): parameters are `; name=value` with the value a token or a
// quoted string, in which ";" and escaped quotes may stand. Nothing when the
// parameter is absent.
std::optional<std::string> parameter(std::string_view parameters, std::string_view wanted)
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
        if (ascii::equalIgnoringCase(name, wanted))
            return value;
    }
    return std::nullopt;
}

std::string latin1ToUTF8(std::string_view text)
{
    std::string result;
    for (unsigned char c : text) {
        if (c < 0x80) {
            result += char(c);
        } else {
            result += char(0xC0 | (c >> 6));
            result += char(0x80 | (c & 0x3F));
        }
    }
    return result;
}

// A name that can be joined to a folder: only what follows the last "/" or
// "\\", without control characters; nothing when that leaves no usable name.
std::optional<std::string> safeFilename(std::string_view name)
{
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string_view::npos)
        name.remove_prefix(separator + 1);
    std::string result;
    for (char c : name) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            result += c;
    }
    result = std::string(trimmed(result));
    if (result.empty() || result == "." || result == "..")
        return std::nullopt;
    return result;
}

// RFC 5987's `charset'language'escaped-bytes`, in UTF-8 or ISO-8859-1.
std::optional<std::string> extendedValue(std::string_view value)
{
    const size_t first = value.find('\'');
    const size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::string charset = lowercased(value.substr(0, first));
    auto bytes = percentUnescapeBytes(value.substr(second + 1));
    if (!bytes)
        return std::nullopt;
    if (charset == "utf-8")
        return isValidUTF8(*bytes) ? bytes : std::nullopt;
    if (charset == "iso-8859-1")
        return latin1ToUTF8(*bytes);
    return std::nullopt;
}

std::optional<std::string> dispositionFilename(const HeaderFields& headers)
{
    const auto disposition = headers.value("Content-Disposition");
    if (!disposition)
        return std::nullopt;
    const std::string_view text = *disposition;
    const size_t semicolon = text.find(';');
    if (semicolon == std::string_view::npos)
        return std::nullopt;
    const std::string_view parameters = text.substr(semicolon);
    if (auto extended = parameter(parameters, "filename*")) {
        if (auto decoded = extendedValue(*extended)) {
            if (auto name = safeFilename(*decoded))
                return name;
        }
    }
    if (auto plain = parameter(parameters, "filename")) {
        // Servers send raw UTF-8 or Latin-1 here.
        if (auto name = safeFilename(isValidUTF8(*plain) ? *plain : latin1ToUTF8(*plain)))
            return name;
    }
    return std::nullopt;
}

// The extension a name taken from a URL gets for the body's media type.
std::string_view extensionForMIMEType(std::string_view type)
{
    static constexpr std::pair<std::string_view, std::string_view> table[] = {
        { "application/pdf", "pdf" },
        { "text/html", "html" },
        { "text/plain", "txt" },
        { "image/jpeg", "jpg" },
        { "image/png", "png" },
        { "image/gif", "gif" },
        { "application/zip", "zip" },
    };
    for (const auto& [mime, extension] : table) {
        if (mime == type)
            return extension;
    }
    return {};
}

} // namespace

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HeaderFields headers, std::string_view defaultMIMEType)
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
            m_textEncodingName = lowercased(trimmed(parameter(text.substr(semicolon), "charset").value_or("")));
    }
    if (m_mimeType.empty())
        m_mimeType = defaultMIMEType;
}

std::string HTTPURLResponse::suggestedFilename() const
{
    if (auto name = dispositionFilename(m_headers))
        return *name;

    const std::string escapedPath = m_url.escapedPath();
    std::string_view path = escapedPath;
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    std::optional<std::string> name;
    if (auto bytes = percentUnescapeBytes(path.substr(path.find_last_of('/') + 1)))
        name = safeFilename(isValidUTF8(*bytes) ? *bytes : latin1ToUTF8(*bytes));
    if (!name)
        name = safeFilename(m_url.host());
    if (!name)
        name = "unknown";
    const std::string_view extension = extensionForMIMEType(m_mimeType);
    if (!extension.empty() && path::pathExtension(*name).empty())
        *name = path::appendingPathExtension(*name, extension);
    return *name;
}

} // namespace core
