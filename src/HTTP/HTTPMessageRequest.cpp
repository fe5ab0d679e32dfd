#include "HTTP/HTTPMessageRequest.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/PercentEscape.h"

namespace {

constexpr std::string_view LineSpace = " \t\r\n";
constexpr std::string_view ValueEnds = ";\r\n";

std::string_view trimmedOf(std::string_view text, std::string_view characters)
{
    const size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

} // namespace

std::shared_ptr<HTTPMessageRequest> HTTPMessageRequest::create()
{
    return std::shared_ptr<HTTPMessageRequest>(new HTTPMessageRequest(net::HttpMessage::emptyRequest()));
}

std::shared_ptr<HTTPMessageRequest> HTTPMessageRequest::requestWithMethod(std::string_view method, const core::URL& url,
    std::string_view httpVersion)
{
    auto message = net::HttpMessage::request(method, url, httpVersion);
    if (!message)
        return nullptr;
    return std::shared_ptr<HTTPMessageRequest>(new HTTPMessageRequest(std::move(*message)));
}

std::optional<core::Value::Dictionary> HTTPMessageRequest::fieldsForRFCHeaderWithKey(std::string_view key) const
{
    const auto header = headerForKey(key);
    if (!header || header->empty())
        return std::nullopt;
    std::string_view rest = *header;
    const auto skip = [&rest](std::string_view characters) {
        const size_t first = rest.find_first_not_of(characters);
        rest.remove_prefix(first == std::string_view::npos ? rest.size() : first);
    };
    const auto upTo = [&rest](std::string_view ends) {
        const size_t end = std::min(rest.find_first_of(ends), rest.size());
        std::string_view part = rest.substr(0, end);
        rest.remove_prefix(end);
        return part;
    };

    skip(LineSpace);
    const std::string_view main = upTo(ValueEnds);
    skip(ValueEnds);
    if (main.empty())
        return std::nullopt;
    core::Value::Dictionary fields;
    fields.emplace(std::string(key), std::string(main));
    while (!rest.empty()) {
        skip(LineSpace);
        std::string_view name = upTo("=");
        if (!rest.empty())
            rest.remove_prefix(1);
        std::string_view value = upTo(ValueEnds);
        skip(ValueEnds);
        name = trimmedOf(name, " \t\"");
        value = trimmedOf(value, " \t\"");
        if (!name.empty() && !value.empty())
            fields.insert_or_assign(std::string(name), std::string(value));
    }
    return fields;
}

const core::URL& HTTPMessageRequest::standardizedURL() const
{
    if (!m_standardizedURL) {
        const auto& url = requestURL();
        if (!url)
            return *(m_standardizedURL = core::URL::parse("/"));
        m_standardizedURL = url->standardized();
    }
    return *m_standardizedURL;
}

bool HTTPMessageRequest::hasUnsafePath() const
{
    if (!requestURL())
        return false;
    return isUnsafeEscapedPath(standardizedURL().escapedPath());
}

bool HTTPMessageRequest::isUnsafeEscapedPath(std::string_view escapedPath)
{
    // Decoded only where there is an escape: most paths have none.
    std::optional<std::string> decoded;
    std::string_view path = escapedPath;
    if (escapedPath.find('%') != std::string_view::npos) {
        decoded = core::percentUnescapeBytes(escapedPath);
        if (!decoded)
            return true;
        path = *decoded;
    }
    if (path.find('\0') != std::string_view::npos)
        return true;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        if (segment == "..")
            return true;
        if (slash == std::string_view::npos)
            break;
        path.remove_prefix(slash + 1);
    }
    return false;
}
