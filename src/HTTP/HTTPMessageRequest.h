#pragma once

#include "HTTP/HTTPMessage.h"
#include "Platform/Core/URL.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A request: parsed from the bytes a client sends, or built.
class HTTPMessageRequest : public HTTPMessage {
public:
    // An empty request ready to receive bytes.
    static std::shared_ptr<HTTPMessageRequest> create();
    // A built request; null when the parts cannot be sent as given.
    static std::shared_ptr<HTTPMessageRequest> requestWithMethod(std::string_view method, const core::URL& url,
        std::string_view httpVersion);

    // The request target as a URL: relativeString() is the target exactly as
    // sent, path() its decoded path. Nothing before the start line is in.
    const std::optional<core::URL>& requestURL() const { return message().url(); }
    // requestURL() with its dot segments removed, made once (every step of
    // a request asks for it); "/" before the start line is in.
    const core::URL& standardizedURL() const;
    const std::string& requestMethod() const { return message().method(); }

    // Splits a parameterised header ("multipart/form-data; boundary=xyz")
    // into its main value, under the header's own name, and its parameters
    // with blanks and quotation marks trimmed. Nothing when the header is
    // missing or empty, or its main value is empty.
    std::optional<core::Value::Dictionary> fieldsForRFCHeaderWithKey(std::string_view key) const;

    // Whether the target's path, decoded and with dot segments removed,
    // still holds a ".." segment or a NUL byte: a path no store may be
    // reached by ("/Public/%2e%2e/x", "/a/..%2f..%2fb", "/x%00y").
    bool hasUnsafePath() const;
    // The same test for any escaped path, decoded as it stands.
    static bool isUnsafeEscapedPath(std::string_view escapedPath);

protected:
    HTTPMessageRequest(net::HttpMessage message) : HTTPMessage(std::move(message)) { }

private:
    mutable std::optional<core::URL> m_standardizedURL;
};
