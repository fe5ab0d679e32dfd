// fuzz: tandry_http
// The Digest "Authorization" header is read before the client is known: any
// text must parse without crashing, and every value found must lie inside
// the header.

#include "HTTP/HTTPAuthenticationRequest.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view header(reinterpret_cast<const char*>(data), size);
    auto request = HTTPAuthenticationRequest::create(header);
    for (const std::string* value : { &request->username(), &request->realm(), &request->nonce(), &request->uri(),
             &request->qop(), &request->ncAsString(), &request->cnonce(), &request->response() }) {
        if (value->size() > size || (!value->empty() && header.find(*value) == std::string_view::npos))
            std::abort();
    }
    if (request->ncAsString().empty() && request->nc() != 0)
        std::abort();
    return 0;
}
