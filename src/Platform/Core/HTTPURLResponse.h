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
    // `defaultMIMEType` stands in when the headers name no media type (the
    // loader passes "application/octet-stream").
    HTTPURLResponse(URL url, int statusCode, HeaderFields headers, std::string_view defaultMIMEType = {});

    const URL& url() const { return m_url; }
    int statusCode() const { return m_statusCode; }
    const HeaderFields& headers() const { return m_headers; }
    std::optional<std::string> header(std::string_view name) const { return m_headers.value(name); }

    // "Content-Length" as a number; -1 when it is absent, not a plain
    // decimal number, or given twice with different values.
    int64_t expectedContentLength() const { return m_expectedContentLength; }
    // The media type of "Content-Type" in lower case ("text/html"); the
    // default given at construction (or empty) when there is none.
    const std::string& mimeType() const { return m_mimeType; }
    // Its "charset" parameter in lower case ("utf-8"); empty when none.
    const std::string& textEncodingName() const { return m_textEncodingName; }

    // The name to save the body under: the "filename*" (UTF-8 or ISO-8859-1)
    // or "filename" of "Content-Disposition", else the URL's last path
    // component decoded, else its host, else "unknown". A name taken from
    // the URL without an extension gets one for a few common media types.
    // Never empty, never "." or "..", and never holding "/", "\\", NUL or
    // other control characters, so it can be joined to a folder safely.
    std::string suggestedFilename() const;

private:
    URL m_url;
    int m_statusCode;
    HeaderFields m_headers;
    int64_t m_expectedContentLength = -1;
    std::string m_mimeType;
    std::string m_textEncodingName;
};

} // namespace core
