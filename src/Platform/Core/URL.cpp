#include "Platform/Core/URL.h"

#include "Platform/Core/PercentEscape.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <strings.h>
#include <unistd.h>

namespace core {

namespace {

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The first of the given bytes in the text from `from` on, or npos. (The
// string view's find_first_of calls memchr on the set once per byte.)
template <char... Set>
size_t findAny(std::string_view text, size_t from = 0)
{
    for (size_t i = from; i < text.size(); ++i) {
        if (((text[i] == Set) || ...))
            return i;
    }
    return std::string_view::npos;
}

// Every byte is in the set or starts a well-formed "%XX" escape.
bool isEscapedText(std::string_view text, EscapeSet set)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (text.size() - i < 3 || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2]))
                return false;
            i += 2;
        } else if (!isURLCharacter(static_cast<unsigned char>(text[i]), set)) {
            return false;
        }
    }
    return true;
}

bool isIPLiteral(std::string_view text)
{
    if (text.empty())
        return false;
    if (text[0] == 'v' || text[0] == 'V') {
        // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
        const size_t dot = text.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot + 1 == text.size())
            return false;
        for (size_t i = 1; i < dot; ++i) {
            if (!isHexDigit(text[i]))
                return false;
        }
        for (char c : text.substr(dot + 1)) {
            if (!isURLCharacter(static_cast<unsigned char>(c), EscapeSet::UserInfo))
                return false;
        }
        return true;
    }
    if (text.size() > 45)
        return false;
    char buffer[46];
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    in6_addr address;
    return inet_pton(AF_INET6, buffer, &address) == 1;
}

// Whether a path holds a "." or ".." segment (escapes are not dots).
bool hasDotSegments(std::string_view path)
{
    for (size_t at = 0; at < path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view segment = path.substr(at, end - at);
        if (segment == "." || segment == "..")
            return true;
        at = end + 1;
    }
    return false;
}

// Removes "." and ".." segments (RFC 3986 section 5.2.4). Each byte is moved
// or dropped once, so the cost is linear in the path.
std::string removeDotSegments(std::string_view input)
{
    std::string output;
    output.reserve(input.size());
    const auto dropLastSegment = [&output] {
        const size_t slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            output += '/';
            break;
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            dropLastSegment();
        } else if (input == "/..") {
            dropLastSegment();
            output += '/';
            break;
        } else if (input == "." || input == "..") {
            break;
        } else {
            const size_t end = input.find('/', input[0] == '/' ? 1 : 0);
            const size_t length = end == std::string_view::npos ? input.size() : end;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

struct Pieces {
    std::optional<std::string_view> scheme, authority, query, fragment;
    std::string path;
};

// Puts the components together (RFC 3986 section 5.3). A path that would
// read as an authority ("//g" without one) or as a scheme ("c:d" without
// one) is guarded with "/." or "./", so the text parses back to the same
// components.
std::string compose(const Pieces& pieces)
{
    std::string text;
    if (pieces.scheme) {
        text.append(*pieces.scheme);
        text += ':';
    }
    if (pieces.authority) {
        text += "//";
        text.append(*pieces.authority);
    } else if (pieces.path.starts_with("//")) {
        text += "/.";
    } else if (!pieces.scheme) {
        const size_t colon = pieces.path.find(':');
        if (colon != std::string::npos && pieces.path.find('/') > colon)
            text += "./";
    }
    text += pieces.path;
    if (pieces.query) {
        text += '?';
        text.append(*pieces.query);
    }
    if (pieces.fragment) {
        text += '#';
        text.append(*pieces.fragment);
    }
    return text;
}

std::string decodedPath(std::string_view path)
{
    if (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return percentUnescapeBytes(path).value_or(std::string(path));
}

} // namespace

URL::URL()
{
    m_parts.path.present = true;
}

bool URL::split(std::string_view text, Components& parts)
{
    constexpr auto npos = std::string_view::npos;
    size_t position = 0;

    const size_t schemeEnd = findAny<':', '/', '?', '#'>(text);
    if (schemeEnd != npos && text[schemeEnd] == ':') {
        // A first segment with a colon must be a scheme; a relative path may
        // not start with one.
        if (schemeEnd == 0 || !isAlpha(text[0]))
            return false;
        for (size_t i = 1; i < schemeEnd; ++i) {
            const char c = text[i];
            if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
                return false;
        }
        parts.scheme = { 0, schemeEnd, true };
        position = schemeEnd + 1;
    }

    if (text.substr(position, 2) == "//") {
        const size_t begin = position + 2;
        size_t end = findAny<'/', '?', '#'>(text, begin);
        if (end == npos)
            end = text.size();
        parts.authority = { begin, end - begin, true };
        if (!splitAuthority(text, begin, end, parts))
            return false;
        position = end;
    }

    size_t end = findAny<'?', '#'>(text, position);
    if (end == npos)
        end = text.size();
    parts.path = { position, end - position, true };
    if (!isEscapedText(text.substr(position, end - position), EscapeSet::Path))
        return false;
    position = end;

    if (position < text.size() && text[position] == '?') {
        end = text.find('#', position + 1);
        if (end == npos)
            end = text.size();
        parts.query = { position + 1, end - position - 1, true };
        if (!isEscapedText(text.substr(position + 1, end - position - 1), EscapeSet::Query))
            return false;
        position = end;
    }

    if (position < text.size()) {
        parts.fragment = { position + 1, text.size() - position - 1, true };
        if (!isEscapedText(text.substr(position + 1), EscapeSet::Query))
            return false;
    }
    return true;
}

bool URL::splitAuthority(std::string_view text, size_t begin, size_t end, Components& parts)
{
    constexpr auto npos = std::string_view::npos;
    const std::string_view authority = text.substr(begin, end - begin);

    size_t hostBegin = 0;
    const size_t at = authority.find('@');
    if (at != npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (!isEscapedText(userInfo, EscapeSet::UserInfo))
            return false;
        const size_t colon = userInfo.find(':');
        parts.user = { begin, std::min(colon, userInfo.size()), true };
        if (colon != npos)
            parts.password = { begin + colon + 1, userInfo.size() - colon - 1, true };
        hostBegin = at + 1;
    }

    std::string_view rest = authority.substr(hostBegin);
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == npos || !isIPLiteral(rest.substr(1, close - 1)))
            return false;
        parts.host = { begin + hostBegin + 1, close - 1, true };
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest[0] != ':')
            return false;
    } else {
        const size_t colon = rest.find(':');
        const std::string_view host = rest.substr(0, colon);
        if (!isEscapedText(host, EscapeSet::Host))
            return false;
        parts.host = { begin + hostBegin, host.size(), true };
        rest.remove_prefix(host.size());
    }

    if (!rest.empty()) {
        // rest is ":" and the port's digits; an empty port means none.
        rest.remove_prefix(1);
        int port = 0;
        for (char c : rest) {
            if (!isDigit(c))
                return false;
            port = port * 10 + (c - '0');
            if (port > 65535)
                return false;
        }
        if (!rest.empty())
            parts.port = port;
    }
    return true;
}

std::optional<URL> URL::parse(std::string_view text)
{
    Components parts;
    if (!split(text, parts))
        return std::nullopt;
    return URL(std::string(text), parts);
}

std::optional<URL> URL::parse(std::string_view text, const URL& base)
{
    auto url = parse(text);
    if (!url)
        return std::nullopt;
    auto resolved = parse(resolve(base.absolute(), *url));
    if (!resolved)
        return std::nullopt;
    url->m_base = std::make_shared<const URL>(base);
    url->m_absolute = std::make_shared<const URL>(std::move(*resolved));
    return url;
}

// RFC 3986 section 5.2.2, strict: a reference with a scheme stands alone.
std::string URL::resolve(const URL& base, const URL& reference)
{
    const auto optionalPart = [](const URL& url, const Span& span) -> std::optional<std::string_view> {
        if (!span.present)
            return std::nullopt;
        return url.part(span);
    };
    const Components& r = reference.m_parts;
    const Components& b = base.m_parts;
    const std::string_view referencePath = reference.part(r.path);

    Pieces target;
    target.fragment = optionalPart(reference, r.fragment);
    if (r.scheme.present || r.authority.present) {
        target.scheme = optionalPart(r.scheme.present ? reference : base, r.scheme.present ? r.scheme : b.scheme);
        target.authority = optionalPart(reference, r.authority);
        target.path = removeDotSegments(referencePath);
        target.query = optionalPart(reference, r.query);
        return compose(target);
    }
    target.scheme = optionalPart(base, b.scheme);
    target.authority = optionalPart(base, b.authority);
    if (referencePath.empty()) {
        target.path = base.part(b.path);
        target.query = r.query.present ? optionalPart(reference, r.query) : optionalPart(base, b.query);
        return compose(target);
    }
    target.query = optionalPart(reference, r.query);
    if (referencePath[0] == '/') {
        target.path = removeDotSegments(referencePath);
        return compose(target);
    }
    // Merge: the base's path up to its last "/", or "/" under a bare authority.
    const std::string_view basePath = base.part(b.path);
    std::string merged;
    if (b.authority.present && basePath.empty()) {
        merged = "/";
    } else {
        const size_t slash = basePath.rfind('/');
        if (slash != std::string_view::npos)
            merged = basePath.substr(0, slash + 1);
    }
    merged.append(referencePath);
    target.path = removeDotSegments(merged);
    return compose(target);
}

URL URL::fileURL(std::string_view path, bool isDirectory)
{
    std::string text = "file://";
    if (path.empty() || path[0] != '/') {
        std::unique_ptr<char, decltype(&std::free)> directory(getcwd(nullptr, 0), &std::free);
        std::string prefix = directory ? directory.get() : "/";
        if (!prefix.ends_with('/'))
            prefix += '/';
        text += percentEscape(prefix, EscapeSet::Path);
    }
    text += percentEscape(path, EscapeSet::Path);
    if (isDirectory && !text.ends_with('/'))
        text += '/';
    auto url = parse(text);
    return url ? std::move(*url) : URL();
}

std::string_view URL::part(const Span& span) const
{
    if (!span.present)
        return {};
    return std::string_view(m_text).substr(span.begin, span.size);
}

std::optional<URL> URL::baseURL() const
{
    if (!m_base)
        return std::nullopt;
    return *m_base;
}

std::string URL::scheme() const
{
    const URL& url = absolute();
    return std::string(url.part(url.m_parts.scheme));
}

std::string URL::user() const
{
    const URL& url = absolute();
    return percentUnescapeBytes(url.part(url.m_parts.user)).value_or(std::string());
}

std::string URL::password() const
{
    const URL& url = absolute();
    return percentUnescapeBytes(url.part(url.m_parts.password)).value_or(std::string());
}

std::string URL::host() const
{
    const URL& url = absolute();
    return percentUnescapeBytes(url.part(url.m_parts.host)).value_or(std::string());
}

std::optional<int> URL::port() const
{
    const int port = absolute().m_parts.port;
    if (port < 0)
        return std::nullopt;
    return port;
}

std::string URL::query() const
{
    const URL& url = absolute();
    return std::string(url.part(url.m_parts.query));
}

std::string URL::fragment() const
{
    const URL& url = absolute();
    return std::string(url.part(url.m_parts.fragment));
}

bool URL::hasQuery() const { return absolute().m_parts.query.present; }

bool URL::hasFragment() const { return absolute().m_parts.fragment.present; }

std::string URL::resourceSpecifier() const
{
    const URL& url = absolute();
    if (!url.m_parts.scheme.present)
        return url.m_text;
    return url.m_text.substr(url.m_parts.scheme.size + 1);
}

std::string URL::path() const
{
    const URL& url = absolute();
    return decodedPath(url.part(url.m_parts.path));
}

std::string URL::relativePath() const { return decodedPath(part(m_parts.path)); }

std::string URL::escapedPath() const
{
    const URL& url = absolute();
    return std::string(url.part(url.m_parts.path));
}

bool URL::hasDirectoryPath() const
{
    const URL& url = absolute();
    return url.part(url.m_parts.path).ends_with('/');
}

URL URL::standardized() const
{
    const URL& url = absolute();
    const std::string_view path = url.part(url.m_parts.path);
    if (!path.starts_with('/') || !hasDotSegments(path))
        return url;
    const auto optionalPart = [&url](const Span& span) -> std::optional<std::string_view> {
        if (!span.present)
            return std::nullopt;
        return url.part(span);
    };
    Pieces pieces;
    pieces.scheme = optionalPart(url.m_parts.scheme);
    pieces.authority = optionalPart(url.m_parts.authority);
    pieces.path = removeDotSegments(path);
    pieces.query = optionalPart(url.m_parts.query);
    pieces.fragment = optionalPart(url.m_parts.fragment);
    auto result = parse(compose(pieces));
    return result ? std::move(*result) : url;
}

std::string URL::standardizedPath() const
{
    const URL& url = absolute();
    const std::string_view path = url.part(url.m_parts.path);
    if (!path.starts_with('/') || !hasDotSegments(path))
        return decodedPath(path);
    return standardized().path();
}

bool URL::isFileURL() const
{
    const URL& url = absolute();
    const std::string_view scheme = url.part(url.m_parts.scheme);
    return scheme.size() == 4 && strncasecmp(scheme.data(), "file", 4) == 0;
}

std::string URL::filePath() const { return isFileURL() ? path() : std::string(); }

std::string URL::description() const
{
    if (!m_base)
        return m_text;
    return m_text + " -- " + m_base->description();
}

bool URL::operator==(const URL& other) const
{
    if (m_text != other.m_text || bool(m_base) != bool(other.m_base))
        return false;
    return !m_base || *m_base == *other.m_base;
}

size_t URL::hash() const
{
    const size_t textHash = std::hash<std::string>()(m_text);
    return m_base ? textHash ^ (m_base->hash() * 31) : textHash;
}

} // namespace core
