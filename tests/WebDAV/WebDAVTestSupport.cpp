// Per-test resets of the WebDAV engine's shared state: an empty lock table
// no credentials, and the connections' class-wide state.

#include "Support/TestEnvironment.h"
#include "HTTP/HTTPConnection.h"
#include "WebDAV/WebDAVConnection.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVLockManager.h"

namespace {

void resetWebDAV()
{
    WebDAVLockManager::sharedManager()->removeAllLocks();
    WebDAVCredentials::setCurrent(nullptr);
    WebDAVConnection::resetForTesting();
    HTTPConnection::resetForTesting();
}

const bool registered = (test::TestEnvironment::addReset(resetWebDAV), true);

} // namespace
