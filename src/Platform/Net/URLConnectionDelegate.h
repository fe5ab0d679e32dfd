#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URLRequest.h"

#include <cstdint>
#include <optional>

namespace net {

class URLConnection;

// What a URL connection tells whoever started it, on the thread that created
// the connection, in this order: body bytes sent (uploads), one response,
// its body in pieces, then either the end or a failure, and nothing after.
// A cancelled connection says nothing more. Every method may cancel the
// connection, start others or drop the last reference to it.
class URLConnectionDelegate {
public:
    virtual ~URLConnectionDelegate() = default;

    virtual void didReceiveResponse(URLConnection&, const core::HTTPURLResponse&) { }
    virtual void didReceiveData(URLConnection&, const core::Data&) { }
    // `written` bytes went out since the last call; totals in bytes.
    virtual void didSendBodyData(URLConnection&, int64_t /*written*/, int64_t /*totalWritten*/,
        int64_t /*totalExpected*/) { }
    virtual void didFinishLoading(URLConnection&) { }
    virtual void didFailWithError(URLConnection&, const core::Error&) { }
    // Asked when a kept-alive connection closed before any answer and the
    // request is to go again on a fresh one, as HTTP clients do. A request
    // that may go out only once (signed with a nonce) answers itself made
    // anew; none fails the load as a lost connection.
    virtual std::optional<core::URLRequest> requestForResending(URLConnection&, const core::URLRequest& sent)
    {
        return sent;
    }
};

} // namespace net
