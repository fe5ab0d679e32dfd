#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"
#include "Platform/Net/HttpMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The server's HTTP message: a request received from a client or a response
// sent to one, over the platform message. Besides the message itself it
// answers the header readings the server needs (content type and lengths,
// whether the connection must close).
class HTTPMessage : public core::Object {
public:
    net::HttpMessage& message() { return m_message; }
    const net::HttpMessage& message() const { return m_message; }

    // "HTTP/1.1" or "HTTP/1.0" (empty until the start line is in).
    const std::string& version() const;

    // Start line, header lines, empty line and body.
    core::Data serializedMessage() const;
    core::Data body() const;
    uint64_t bodyLength() const { return m_message.bodyLength(); }
    // Sets the body and "Content-Length" to its length.
    void setBody(const core::Data& body);

    // Takes received bytes into the head, or the body once the head is
    // complete; false when they broke the head.
    bool appendBytes(std::string_view bytes) { return m_message.appendBytes(bytes); }
    bool appendBytes(const core::Data& bytes) { return m_message.appendBytes(bytes.view()); }
    bool isHeaderComplete() const { return m_message.isHeaderComplete(); }

    core::Value::Dictionary allHeaders() const;
    // The header's value; names compare without regard to case.
    std::optional<std::string> headerForKey(std::string_view key) const { return m_message.header(key); }
    // A value with a line break (or a name that is not a token) would split
    // the head: it is logged and left out.
    void setHeaderValue(std::string_view value, std::string_view key);
    // Sets each pair; a value that is not text is written as its description.
    void setHeaderValues(const core::Value::Dictionary& values);

    // "Content-Type" up to its first ";", untrimmed; nothing when absent.
    std::optional<std::string> contentType() const;
    // "Content-Length" and "X-Expected-Entity-Length" (the announced size of
    // a chunked upload) read by HTTPMessageUnsignedLongLongForHeader.
    uint64_t contentLength() const;
    uint64_t XExpectedEntityLength() const;
    // HTTP/1.0 always closes; HTTP/1.1 closes on "Connection: close".
    bool connectionShouldClose() const;

    std::string description() const override;

protected:
    explicit HTTPMessage(net::HttpMessage message) : m_message(std::move(message)) { }
    // Puts a new platform message in place of the current one.
    void replaceMessage(net::HttpMessage message);

private:
    net::HttpMessage m_message;
    mutable std::string m_version;
};

// A header's text as an unsigned 64-bit count: missing, empty, "0", text
// that does not start with a number and negative numbers give 0; leading
// blanks are skipped and trailing text ignored ("12abc" is 12); numbers
// beyond the range saturate at 2^63 - 1.
uint64_t HTTPMessageUnsignedLongLongForHeader(const std::optional<std::string>& header);
