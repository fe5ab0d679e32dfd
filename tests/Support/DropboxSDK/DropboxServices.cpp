// Per-test resets of the cloud client: every test starts with no shared
// session and no network-activity delegate.

#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBSession.h"
#include "Support/TestEnvironment.h"

namespace {

void resetDropbox()
{
    DBSession::setSharedSession(nullptr);
    DBRequest::setNetworkRequestDelegate({});
}

const bool registered = (test::TestEnvironment::addReset(resetDropbox), true);

} // namespace
