// fuzz: tandry_http
// Request heads come straight from the network. The parser must refuse what
// is malformed without throwing, never hold more than its head cap, and give
// the same message whichever way the bytes are split into appends; what it
// accepts must serialise to a head that parses back the same.

#include "HTTP/HTTPMessageRequest.h"
#include "Platform/Net/HttpMessage.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool same(const net::HttpMessage& a, const net::HttpMessage& b)
{
    return a.isMalformed() == b.isMalformed() && a.isHeaderComplete() == b.isHeaderComplete() && a.method() == b.method()
        && a.target() == b.target() && a.version() == b.version() && a.headers() == b.headers() && a.body() == b.body();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first byte chooses the split points, the rest is the head.
    if (size == 0)
        return 0;
    const unsigned seed = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    auto whole = net::HttpMessage::emptyRequest();
    const bool accepted = whole.appendBytes(bytes);
    check(accepted == !whole.isMalformed());

    auto pieces = net::HttpMessage::emptyRequest();
    bool piecesAccepted = true;
    size_t offset = 0;
    unsigned state = seed * 2654435761u + 1;
    while (offset < bytes.size()) {
        state = state * 1103515245u + 12345u;
        const size_t length = std::min<size_t>(bytes.size() - offset, 1 + (state >> 16) % 97);
        piecesAccepted = pieces.appendBytes(bytes.substr(offset, length)) && piecesAccepted;
        offset += length;
    }
    check(piecesAccepted == accepted);
    check(same(whole, pieces));

    if (accepted && whole.isHeaderComplete()) {
        const size_t bodyStart = bytes.size() - whole.bodyLength();
        check(bodyStart <= net::HttpMessage::MaxHeadLength);
        auto again = net::HttpMessage::emptyRequest();
        check(again.appendBytes(whole.serialize()));
        check(same(whole, again));

        auto request = HTTPMessageRequest::create();
        check(request->appendBytes(bytes));
        (void)request->hasUnsafePath();
        (void)request->contentLength();
        (void)request->connectionShouldClose();
        (void)request->contentType();
        (void)request->fieldsForRFCHeaderWithKey("Content-Type");
        check(request->requestURL().has_value());
    }
    return 0;
}
