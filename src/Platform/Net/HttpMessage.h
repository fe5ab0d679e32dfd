#pragma once

#include "Platform/Core/URL.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace net {

// One HTTP/1.x message: a request or a response, either built from parts and
// serialised, or parsed from bytes as they arrive.
//
// Parsing is incremental: each append scans only the bytes it brings, so a
// head fed one byte at a time costs what one whole append costs, give or
// take a constant. Leading empty lines are skipped; everything after the
// empty line that ends the head is body, kept as it came (no length cut, no
// de-chunking: framing is the caller's business). A malformed start line, a
// request target that is not a URL reference, a header line without ":", a
// folded line, or a head above MaxHeadLength makes the message refuse that
// append and every later one.
//
// Header names compare without regard to case; values are trimmed of blanks
// and a repeated header keeps one entry with its values joined by ", ".
class HttpMessage {
public:
    static constexpr size_t MaxHeadLength = 65536;
    using Header = std::pair<std::string, std::string>;

    // Empty messages that receive bytes.
    static HttpMessage emptyRequest();
    static HttpMessage emptyResponse();
    // Built messages, complete heads; nothing when a part could not be sent
    // as given (a method that is not a token, a version that is not
    // "HTTP/x.y", a status outside 100...999, a reason with a line break).
    static std::optional<HttpMessage> request(std::string_view method, const core::URL& url, std::string_view version);
    static std::optional<HttpMessage> response(int statusCode, std::string_view reasonPhrase, std::string_view version);

    // The standard reason phrase of a status ("Multi-Status" for 207); empty
    // for a code without one.
    static std::string_view reasonPhrase(int statusCode);

    bool isRequest() const { return m_isRequest; }

    // Takes received bytes; false when they (or earlier ones) broke the head.
    bool appendBytes(std::string_view bytes);
    bool isHeaderComplete() const { return m_headComplete; }
    bool isMalformed() const { return m_malformed; }

    // The start line's parts, once it has been received (or built).
    const std::string& method() const { return m_method; }
    // The request target as sent ("/a%20b?x=1", "*", "http://h/x").
    const std::string& target() const { return m_target; }
    const std::optional<core::URL>& url() const { return m_url; }
    const std::string& version() const { return m_version; }
    int statusCode() const { return m_statusCode; }
    const std::string& statusReason() const { return m_reason; }
    // "HTTP/1.1 207 Multi-Status" (responses).
    std::string statusLine() const;

    const std::vector<Header>& headers() const { return m_headers; }
    std::optional<std::string> header(std::string_view name) const;
    // Replaces a header's value, or adds the header. False, and nothing
    // changed, when the name is not a token or the value holds CR, LF or NUL.
    bool setHeader(std::string_view name, std::string_view value);
    void removeHeader(std::string_view name);

    const std::string& body() const { return m_body; }
    size_t bodyLength() const { return m_body.size(); }
    void setBody(std::string body) { m_body = std::move(body); }

    // Start line, header lines, empty line and body. Never adds a header.
    std::string serialize() const;

private:
    explicit HttpMessage(bool isRequest) : m_isRequest(isRequest) { }

    bool fail();
    bool takeLine(std::string_view line);
    bool takeStartLine(std::string_view line);
    bool takeHeaderLine(std::string_view line);
    void addParsedHeader(std::string_view name, std::string_view value);
    // Adds a header not present yet.
    void appendHeader(std::string_view name, std::string_view value);
    std::optional<size_t> find(std::string_view name) const;
    void reindex();

    bool m_isRequest;
    bool m_headComplete = false;
    bool m_malformed = false;
    bool m_startLineDone = false;
    size_t m_headLength = 0;
    // The unfinished line of the head (bytes after the last line end).
    std::string m_line;

    std::string m_method;
    std::string m_target;
    std::optional<core::URL> m_url;
    std::string m_version;
    int m_statusCode = 0;
    std::string m_reason;

    std::vector<Header> m_headers;
    // Lower-case name -> position, kept once a head has many headers, so
    // that joining repeats stays linear.
    std::unique_ptr<std::unordered_map<std::string, size_t>> m_index;
    std::string m_body;
};

} // namespace net
