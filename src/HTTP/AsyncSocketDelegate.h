#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {
class RunLoop;
}

class AsyncSocket;

// What a socket tells its owner. Every callback is optional: the defaults do
// nothing, and answer as an owner that does not care would (run on the
// current loop, connect, time out).
class AsyncSocketDelegate {
public:
    virtual ~AsyncSocketDelegate() = default;

    // A listening socket made `newSocket` for a connection; its delegate is
    // still the listener's, and the owner may install another.
    virtual void onSocketDidAcceptNewSocket(AsyncSocket& socket, const std::shared_ptr<AsyncSocket>& newSocket);
    // The loop the new socket is to run on; null for the current one (the
    // socket is set up from this thread, so only this thread's loop will do).
    virtual core::RunLoop* onSocketWantsRunLoopForNewSocket(AsyncSocket& socket,
        const std::shared_ptr<AsyncSocket>& newSocket);
    // Before the streams open (the moment to set TLS); false cancels.
    virtual bool onSocketWillConnect(AsyncSocket& socket);
    virtual void onSocketDidConnectToHost(AsyncSocket& socket, const std::string& host, uint16_t port);
    virtual void onSocketDidReadData(AsyncSocket& socket, const core::Data& data, long tag);
    // A terminator or length read got `partialLength` bytes in one pass.
    virtual void onSocketDidReadPartialDataOfLength(AsyncSocket& socket, uint64_t partialLength, long tag);
    virtual void onSocketDidWriteDataWithTag(AsyncSocket& socket, long tag);
    // A write has `partialLength` bytes done.
    virtual void onSocketDidWritePartialDataOfLength(AsyncSocket& socket, uint64_t partialLength, long tag);
    // A read or write made no progress for its time-out; false grants it
    // another full period.
    virtual bool onSocketShouldTimeout(AsyncSocket& socket);
    // The socket is about to close with `error` (null at a clean end of
    // stream); bytes received and not yet delivered can still be read.
    virtual void onSocketWillDisconnectWithError(AsyncSocket& socket, const core::Error* error);
    // The socket closed (one pass after the close).
    virtual void onSocketDidDisconnect(AsyncSocket& socket);
    // The peer ended its stream while no read was asked for. True keeps the
    // socket writing (a peer that shut only its sending side may still wait
    // for an answer), and the next read that needs bytes finds the end;
    // false, the default, closes it now.
    virtual bool onSocketShouldKeepWritingAfterReadEnd(AsyncSocket& socket);
};
