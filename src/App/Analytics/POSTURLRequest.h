#pragma once

#include "Platform/Core/URLRequest.h"

// A POST whose body is a dictionary sent as a multipart form: one part per
// entry, in key order, named by the key and holding the value's text,
// between delimiters of a boundary made afresh for each request (an
// upper-case UUID). A key holding a quote or a line break cannot be named
// in a part's header safely: such a dictionary gives no body (logged).
class POSTURLRequest : public core::URLRequest {
public:
    POSTURLRequest(core::URL url, const core::Value& dictionary);

    const std::string& boundary() const { return m_boundary; }

    // "--B", then per entry "\r\nContent-Disposition: form-data;
    // name=\"KEY\"\r\n\r\nVALUE\r\n--B", then "--\r\n"; nothing when a key
    // cannot be named.
    static std::optional<std::string> multipartBody(const std::string& boundary, const core::Value& dictionary);

private:
    std::string m_boundary;
};
