// Per-test resets of the cloud client: every test starts with no shared
// session, no network-activity delegate and the default time-out.

#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "Support/TestEnvironment.h"

namespace {

void resetDropbox()
{
    DBSession::setSharedSession(nullptr);
    DBRequest::setNetworkRequestDelegate({});
    DBRestClient::setTimeoutIntervalForTesting(0);
}

const bool registered = (test::TestEnvironment::addReset(resetDropbox), true);

} // namespace
