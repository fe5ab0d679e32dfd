#include "Platform/Net/HttpMessage.h"

#include "Platform/Core/HeaderFields.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace net {

namespace {

// Past this many headers the parser keeps a name index (below it a scan of
// the list is faster than hashing).
constexpr size_t IndexThreshold = 16;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string_view trimmedHeaderText(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// "HTTP/" 1*DIGIT "." 1*DIGIT
bool isVersion(std::string_view text)
{
    if (!text.starts_with("HTTP/"))
        return false;
    text.remove_prefix(5);
    const size_t dot = text.find('.');
    if (dot == 0 || dot == std::string_view::npos || dot + 1 == text.size())
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<ptrdiff_t>(dot), isDigit)
        && std::all_of(text.begin() + static_cast<ptrdiff_t>(dot) + 1, text.end(), isDigit);
}

bool hasLineBreakOrNul(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

} // namespace

HttpMessage HttpMessage::emptyRequest() { return HttpMessage(true); }

HttpMessage HttpMessage::emptyResponse() { return HttpMessage(false); }

std::optional<HttpMessage> HttpMessage::request(std::string_view method, const core::URL& url, std::string_view version)
{
    if (method.empty() || !core::HeaderFields::isValidName(method) || !isVersion(version))
        return std::nullopt;
    HttpMessage message(true);
    message.m_method = method;
    message.m_url = url;
    message.m_target = url.relativeString();
    if (message.m_target.empty())
        message.m_target = "/";
    message.m_version = version;
    message.m_startLineDone = true;
    message.m_headComplete = true;
    return message;
}

std::optional<HttpMessage> HttpMessage::response(int statusCode, std::string_view reasonPhrase, std::string_view version)
{
    if (statusCode < 100 || statusCode > 999 || !isVersion(version) || hasLineBreakOrNul(reasonPhrase))
        return std::nullopt;
    HttpMessage message(false);
    message.m_statusCode = statusCode;
    message.m_reason = reasonPhrase;
    message.m_version = version;
    message.m_startLineDone = true;
    message.m_headComplete = true;
    // A server's answer carries about eight headers: room for them at once.
    message.m_headers.reserve(8);
    return message;
}

std::string_view HttpMessage::reasonPhrase(int statusCode)
{
    switch (statusCode) {
    case 100: return "Continue";
    case 101: return "Switching Protocols";
    case 102: return "Processing";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 203: return "Non-Authoritative Information";
    case 204: return "No Content";
    case 205: return "Reset Content";
    case 206: return "Partial Content";
    case 207: return "Multi-Status";
    case 300: return "Multiple Choices";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 305: return "Use Proxy";
    case 307: return "Temporary Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 402: return "Payment Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 406: return "Not Acceptable";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 412: return "Precondition Failed";
    case 413: return "Request Entity Too Large";
    case 414: return "Request-URI Too Long";
    case 415: return "Unsupported Media Type";
    case 416: return "Requested Range Not Satisfiable";
    case 417: return "Expectation Failed";
    case 422: return "Unprocessable Entity";
    case 423: return "Locked";
    case 424: return "Failed Dependency";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    case 505: return "HTTP Version Not Supported";
    case 507: return "Insufficient Storage";
    default: return {};
    }
}

bool HttpMessage::fail()
{
    m_malformed = true;
    m_line = std::string();
    return false;
}

bool HttpMessage::appendBytes(std::string_view bytes)
{
    if (m_malformed)
        return false;
    if (m_headComplete) {
        m_body.append(bytes);
        return true;
    }
    // A peer that sends its head a byte or two at a time gets a short scan,
    // not a memchr call per byte.
    if (bytes.size() <= 2 && std::find(bytes.begin(), bytes.end(), '\n') == bytes.end()) {
        m_headLength += bytes.size();
        if (m_headLength > MaxHeadLength)
            return fail();
        for (char c : bytes)
            m_line.push_back(c);
        return true;
    }
    while (!bytes.empty()) {
        const void* found = std::memchr(bytes.data(), '\n', bytes.size());
        const size_t take = found ? static_cast<size_t>(static_cast<const char*>(found) - bytes.data()) + 1 : bytes.size();
        m_headLength += take;
        if (m_headLength > MaxHeadLength)
            return fail();
        if (!found) {
            m_line.append(bytes);
            return true;
        }
        bool taken;
        if (m_line.empty()) {
            taken = takeLine(bytes.substr(0, take - 1));
        } else {
            m_line.append(bytes.substr(0, take - 1));
            taken = takeLine(m_line);
            m_line.clear();
        }
        if (!taken)
            return fail();
        bytes.remove_prefix(take);
        if (m_headComplete) {
            m_line = std::string();
            m_body.append(bytes);
            return true;
        }
    }
    return true;
}

// One line of the head without its line feed.
bool HttpMessage::takeLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty()) {
        // Empty lines before the start line are skipped; the first one after
        // it ends the head.
        if (m_startLineDone)
            m_headComplete = true;
        return true;
    }
    if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos)
        return false;
    return m_startLineDone ? takeHeaderLine(line) : takeStartLine(line);
}

bool HttpMessage::takeStartLine(std::string_view line)
{
    const size_t first = line.find(' ');
    if (first == std::string_view::npos)
        return false;
    if (m_isRequest) {
        const size_t second = line.find(' ', first + 1);
        if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
            return false;
        const std::string_view method = line.substr(0, first);
        const std::string_view target = line.substr(first + 1, second - first - 1);
        const std::string_view version = line.substr(second + 1);
        if (method.empty() || !core::HeaderFields::isValidName(method) || target.empty() || !isVersion(version))
            return false;
        auto url = core::URL::parse(target);
        if (!url)
            return false;
        m_method = method;
        m_target = target;
        m_url = std::move(url);
        m_version = version;
    } else {
        const std::string_view version = line.substr(0, first);
        std::string_view rest = line.substr(first + 1);
        if (!isVersion(version) || rest.size() < 3 || !isDigit(rest[0]) || !isDigit(rest[1]) || !isDigit(rest[2])
            || (rest.size() > 3 && rest[3] != ' '))
            return false;
        m_version = version;
        m_statusCode = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
        m_reason = rest.size() > 4 ? rest.substr(4) : std::string_view();
    }
    m_startLineDone = true;
    return true;
}

bool HttpMessage::takeHeaderLine(std::string_view line)
{
    // A line that starts with a blank continues the previous one (obsolete
    // folding); refused, as a header split that way is a smuggling device.
    if (isBlank(line.front()))
        return false;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view name = line.substr(0, colon);
    if (name.empty() || !core::HeaderFields::isValidName(name))
        return false;
    addParsedHeader(name, trimmedHeaderText(line.substr(colon + 1)));
    return true;
}

void HttpMessage::addParsedHeader(std::string_view name, std::string_view value)
{
    if (auto position = find(name)) {
        // Empty elements of a list add nothing.
        std::string& joined = m_headers[*position].second;
        if (!joined.empty() && !value.empty())
            joined.append(", ");
        joined.append(value);
        return;
    }
    appendHeader(name, value);
}

void HttpMessage::appendHeader(std::string_view name, std::string_view value)
{
    // Room for a usual head at once rather than growing through 1, 2, 4 and
    // 8 headers, each growth moving the ones before.
    if (m_headers.capacity() == 0)
        m_headers.reserve(IndexThreshold);
    m_headers.emplace_back(name, value);
    if (m_index)
        m_index->emplace(lowered(name), m_headers.size() - 1);
    else if (m_headers.size() > IndexThreshold)
        reindex();
}

std::optional<size_t> HttpMessage::find(std::string_view name) const
{
    if (m_index) {
        auto it = m_index->find(lowered(name));
        if (it == m_index->end())
            return std::nullopt;
        return it->second;
    }
    for (size_t i = 0; i < m_headers.size(); ++i) {
        if (sameName(m_headers[i].first, name))
            return i;
    }
    return std::nullopt;
}

void HttpMessage::reindex()
{
    if (m_headers.size() <= IndexThreshold) {
        m_index.reset();
        return;
    }
    m_index = std::make_unique<std::unordered_map<std::string, size_t>>();
    m_index->reserve(m_headers.size() * 2);
    for (size_t i = 0; i < m_headers.size(); ++i)
        m_index->emplace(lowered(m_headers[i].first), i);
}

std::optional<std::string> HttpMessage::header(std::string_view name) const
{
    if (auto position = find(name))
        return m_headers[*position].second;
    return std::nullopt;
}

bool HttpMessage::setHeader(std::string_view name, std::string_view value)
{
    if (!core::HeaderFields::isValidName(name) || !core::HeaderFields::isValidValue(value))
        return false;
    if (auto position = find(name)) {
        m_headers[*position].second = value;
        return true;
    }
    appendHeader(name, value);
    return true;
}

void HttpMessage::removeHeader(std::string_view name)
{
    const size_t before = m_headers.size();
    std::erase_if(m_headers, [name](const Header& header) { return sameName(header.first, name); });
    if (m_headers.size() != before)
        reindex();
}

std::string HttpMessage::statusLine() const
{
    std::string line = m_version;
    line += ' ';
    line += std::to_string(m_statusCode);
    line += ' ';
    line += m_reason;
    return line;
}

std::string HttpMessage::serialize() const
{
    size_t length = m_target.size() + m_method.size() + m_version.size() + m_reason.size() + 16 + m_body.size();
    for (const auto& [name, value] : m_headers)
        length += name.size() + value.size() + 4;
    std::string text;
    text.reserve(length);
    if (m_isRequest) {
        text += m_method;
        text += ' ';
        text += m_target;
        text += ' ';
        text += m_version;
    } else {
        text += statusLine();
    }
    text += "\r\n";
    for (const auto& [name, value] : m_headers) {
        text += name;
        text += ": ";
        text += value;
        text += "\r\n";
    }
    text += "\r\n";
    text += m_body;
    return text;
}

} // namespace net
