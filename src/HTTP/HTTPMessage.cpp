#include "HTTP/HTTPMessage.h"

#include "Platform/Core/Log.h"

#include <cstdlib>
#include <strings.h>

const std::string& HTTPMessage::version() const
{
    // Cached once the start line is known; before that there is nothing to keep.
    if (m_version.empty())
        m_version = m_message.version();
    return m_version;
}

void HTTPMessage::replaceMessage(net::HttpMessage message)
{
    m_message = std::move(message);
    m_version.clear();
}

core::Data HTTPMessage::serializedMessage() const
{
    return core::Data(m_message.serialize());
}

core::Data HTTPMessage::body() const
{
    return core::Data(std::string_view(m_message.body()));
}

void HTTPMessage::setBody(const core::Data& body)
{
    m_message.setBody(body.toString());
    m_message.setHeader("Content-Length", std::to_string(body.size()));
}

core::Value::Dictionary HTTPMessage::allHeaders() const
{
    core::Value::Dictionary headers;
    for (const auto& [name, value] : m_message.headers())
        headers.emplace(name, value);
    return headers;
}

void HTTPMessage::setHeaderValue(std::string_view value, std::string_view key)
{
    if (!m_message.setHeader(key, value))
        core::log("Warning, refusing header {} with a value that cannot be sent", key);
}

void HTTPMessage::setHeaderValues(const core::Value::Dictionary& values)
{
    for (const auto& [key, value] : values)
        setHeaderValue(value.isString() ? value.string() : value.description(), key);
}

std::optional<std::string> HTTPMessage::contentType() const
{
    auto type = headerForKey("Content-Type");
    if (!type)
        return std::nullopt;
    const size_t semicolon = type->find(';');
    if (semicolon != std::string::npos)
        type->erase(semicolon);
    return type;
}

uint64_t HTTPMessage::contentLength() const
{
    return HTTPMessageUnsignedLongLongForHeader(headerForKey("Content-Length"));
}

uint64_t HTTPMessage::XExpectedEntityLength() const
{
    return HTTPMessageUnsignedLongLongForHeader(headerForKey("X-Expected-Entity-Length"));
}

bool HTTPMessage::connectionShouldClose() const
{
    if (version() == "HTTP/1.0")
        return true;
    auto connection = headerForKey("Connection");
    return connection && strcasecmp(connection->c_str(), "close") == 0;
}

std::string HTTPMessage::description() const
{
    return fmt::format("<{}: {} {}>", className(), static_cast<const void*>(this),
        m_message.isRequest() ? m_message.method() + " " + m_message.target() : m_message.statusLine());
}

uint64_t HTTPMessageUnsignedLongLongForHeader(const std::optional<std::string>& header)
{
    if (!header || header->empty())
        return 0;
    const char* text = header->c_str();
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r')
        ++text;
    // A signed decimal number, as the device's scanner reads one: a sign is
    // allowed, a negative count means nothing.
    const char* digits = text;
    if (*digits == '+' || *digits == '-')
        ++digits;
    if (*digits < '0' || *digits > '9')
        return 0;
    // strtoll saturates at 2^63 - 1.
    const long long value = std::strtoll(text, nullptr, 10);
    if (value < 0)
        return 0;
    return static_cast<uint64_t>(value);
}
