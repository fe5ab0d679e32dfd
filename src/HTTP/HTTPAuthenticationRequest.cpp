#include "HTTP/HTTPAuthenticationRequest.h"

#include "HTTP/HTTPMessage.h"

#include <fmt/format.h>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Where parameters begin: after the scheme word and its blanks, and after
// each comma (outside quotation marks) and its blanks. Names are matched
// only there, so "nonce" is never found inside "cnonce".
std::vector<size_t> parameterStarts(std::string_view header)
{
    std::vector<size_t> starts;
    size_t i = 0;
    while (i < header.size() && !isBlank(header[i]))
        ++i;
    while (i < header.size() && isBlank(header[i]))
        ++i;
    starts.push_back(i);
    bool quoted = false;
    for (; i < header.size(); ++i) {
        if (header[i] == '\\' && quoted) {
            ++i;
        } else if (header[i] == '"') {
            quoted = !quoted;
        } else if (header[i] == ',' && !quoted) {
            size_t start = i + 1;
            while (start < header.size() && isBlank(header[start]))
                ++start;
            starts.push_back(start);
        }
    }
    return starts;
}

// The value of name="value": up to the next quotation mark.
std::optional<std::string_view> quotedParameter(std::string_view header, const std::vector<size_t>& starts,
    std::string_view name)
{
    for (size_t start : starts) {
        const std::string_view rest = header.substr(start);
        if (!rest.starts_with(name) || rest.substr(name.size(), 2) != "=\"")
            continue;
        const size_t begin = start + name.size() + 2;
        const size_t end = header.find('"', begin);
        if (end == std::string_view::npos)
            return std::nullopt;
        return header.substr(begin, end - begin);
    }
    return std::nullopt;
}

// The value of name=value: up to the next comma; the last parameter runs to
// the end of the header, unless a blank follows, which makes it no value.
std::optional<std::string_view> unquotedParameter(std::string_view header, const std::vector<size_t>& starts,
    std::string_view name)
{
    for (size_t start : starts) {
        const std::string_view rest = header.substr(start);
        if (!rest.starts_with(name) || rest.substr(name.size(), 1) != "=")
            continue;
        const size_t begin = start + name.size() + 1;
        const size_t comma = header.find(',', begin);
        if (comma != std::string_view::npos)
            return header.substr(begin, comma - begin);
        const std::string_view value = header.substr(begin);
        if (value.find_first_of(" \t") != std::string_view::npos)
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

// A hexadecimal count as the device's scanner reads one: leading blanks and
// "0x" skipped, the leading hex digits taken, saturating; 0 without digits.
uint32_t hexCount(std::string_view text)
{
    while (!text.empty() && (isBlank(text.front()) || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = std::min<uint64_t>(value * 16 + static_cast<uint64_t>(digit), UINT32_MAX);
    }
    return static_cast<uint32_t>(value);
}

} // namespace

std::shared_ptr<HTTPAuthenticationRequest> HTTPAuthenticationRequest::create(const HTTPMessage& request)
{
    const auto header = request.headerForKey("Authorization");
    return create(header ? std::optional<std::string_view>(*header) : std::nullopt);
}

std::shared_ptr<HTTPAuthenticationRequest> HTTPAuthenticationRequest::create(std::optional<std::string_view> authorization)
{
    std::shared_ptr<HTTPAuthenticationRequest> request(new HTTPAuthenticationRequest());
    if (authorization)
        request->parse(*authorization);
    return request;
}

void HTTPAuthenticationRequest::parse(std::string_view header)
{
    const auto starts = parameterStarts(header);
    const auto quoted = [&](std::string_view name) {
        return std::string(quotedParameter(header, starts, name).value_or(std::string_view()));
    };
    m_username = quoted("username");
    m_realm = quoted("realm");
    m_nonce = quoted("nonce");
    m_uri = quoted("uri");
    m_cnonce = quoted("cnonce");
    m_response = quoted("response");

    m_qop = std::string(unquotedParameter(header, starts, "qop").value_or(std::string_view()));
    if (m_qop.starts_with('"'))
        m_qop = quoted("qop");

    auto nc = quotedParameter(header, starts, "nc");
    if (!nc)
        nc = unquotedParameter(header, starts, "nc");
    m_ncAsString = std::string(nc.value_or(std::string_view()));
    m_nc = hexCount(m_ncAsString);
}

std::string HTTPAuthenticationRequest::description() const
{
    return fmt::format("<{}: {} username={} realm={} nonce={} uri={} qop={} nc={} cnonce={}>", className(),
        static_cast<const void*>(this), m_username, m_realm, m_nonce, m_uri, m_qop, m_ncAsString, m_cnonce);
}
