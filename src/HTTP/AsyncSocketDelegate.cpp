#include "HTTP/AsyncSocketDelegate.h"

void AsyncSocketDelegate::onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>&) { }

core::RunLoop* AsyncSocketDelegate::onSocketWantsRunLoopForNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>&)
{
    return nullptr;
}

bool AsyncSocketDelegate::onSocketWillConnect(AsyncSocket&) { return true; }
void AsyncSocketDelegate::onSocketDidConnectToHost(AsyncSocket&, const std::string&, uint16_t) { }
void AsyncSocketDelegate::onSocketDidReadData(AsyncSocket&, const core::Data&, long) { }
void AsyncSocketDelegate::onSocketDidReadPartialDataOfLength(AsyncSocket&, uint64_t, long) { }
void AsyncSocketDelegate::onSocketDidWriteDataWithTag(AsyncSocket&, long) { }
void AsyncSocketDelegate::onSocketDidWritePartialDataOfLength(AsyncSocket&, uint64_t, long) { }
bool AsyncSocketDelegate::onSocketShouldTimeout(AsyncSocket&) { return true; }
void AsyncSocketDelegate::onSocketWillDisconnectWithError(AsyncSocket&, const core::Error*) { }
void AsyncSocketDelegate::onSocketDidDisconnect(AsyncSocket&) { }
bool AsyncSocketDelegate::onSocketShouldKeepWritingAfterReadEnd(AsyncSocket&) { return false; }
