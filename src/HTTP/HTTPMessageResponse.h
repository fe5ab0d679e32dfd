#pragma once

#include "HTTP/HTTPMessage.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A response to serialise and send, or an empty one that receives bytes.
// Method responses derive from it and make their message when they know
// their status.
class HTTPMessageResponse : public HTTPMessage {
public:
    // A response with the status and reason phrase (nothing: the status's
    // standard phrase); null when the status or phrase cannot be sent.
    static std::shared_ptr<HTTPMessageResponse> responseWithStatusCode(int statusCode,
        std::optional<std::string_view> description = std::nullopt, std::string_view httpVersion = "HTTP/1.1");
    static std::shared_ptr<HTTPMessageResponse> create();

    // "HTTP/1.1 207 Multi-Status"
    std::string statusLine() const { return message().statusLine(); }
    int statusCode() const { return message().statusCode(); }

protected:
    HTTPMessageResponse() : HTTPMessage(net::HttpMessage::emptyResponse()) { }
    // Replaces the message by a new one with that status line (the headers
    // and body go with the old one); false, and nothing changed, when the
    // status or phrase cannot be sent.
    bool makeMessage(int statusCode, std::optional<std::string_view> description,
        std::string_view httpVersion = "HTTP/1.1");
};
