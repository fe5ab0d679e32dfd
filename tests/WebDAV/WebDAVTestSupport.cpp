// Per-test resets of the WebDAV engine's shared state: an empty lock table
// and no credentials.

#include "Support/TestEnvironment.h"
#include "WebDAV/WebDAVCredentials.h"
#include "WebDAV/WebDAVLockManager.h"

namespace {

void resetWebDAV()
{
    WebDAVLockManager::sharedManager()->removeAllLocks();
    WebDAVCredentials::setCurrent(nullptr);
}

const bool registered = (test::TestEnvironment::addReset(resetWebDAV), true);

} // namespace
