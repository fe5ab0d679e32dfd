// Per-test resets of the cloud layer: every test starts with no registered
// services and no mirror store (the shared store opens afresh in the test's
// home on first use).

#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Support/TestEnvironment.h"

namespace {

void resetCloud()
{
    VKCloudServicesManager::resetForTesting();
    VKCloudFileStore::resetForTesting();
}

const bool registered = (test::TestEnvironment::addReset(resetCloud), true);

} // namespace
