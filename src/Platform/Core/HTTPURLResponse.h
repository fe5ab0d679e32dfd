#pragma once

#include "Platform/Core/HeaderFields.h"
#include "Platform/Core/URL.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// The head of an HTTP response as the URL loading system hands it on: the
// URL, the status code and the header fields, with the length, media type
// and character set read from them once.
class HTTPURLResponse {
public:
    HTTPURLResponse(URL url, int statusCode, HeaderFields headers);

    const URL& url() const { return m_url; }
    int statusCode() const { return m_statusCode; }
    const HeaderFields& headers() const { return m_headers; }
    std::optional<std::string> header(std::string_view name) const { return m_headers.value(name); }

    // "Content-Length" as a number; -1 when it is absent, not a plain
    // decimal number, or given twice with different values.
    int64_t expectedContentLength() const { return m_expectedContentLength; }
    // The media type of "Content-Type" in lower case ("text/html"); empty
    // when there is none.
    const std::string& mimeType() const { return m_mimeType; }
    // Its "charset" parameter in lower case ("utf-8"); empty when none.
    const std::string& textEncodingName() const { return m_textEncodingName; }

private:
    URL m_url;
    int m_statusCode;
    HeaderFields m_headers;
    int64_t m_expectedContentLength = -1;
    std::string m_mimeType;
    std::string m_textEncodingName;
};

} // namespace core
