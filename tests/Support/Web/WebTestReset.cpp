// Registers the web engine's reset with the test environment: every test
// starts with a fresh recorder as the engine and no website data. Web
// processes may read the test homes.

#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Support/TestEnvironment.h"

namespace {

const bool registered = [] {
    web::GtkWebEngine::addReadablePathForTesting(TANDRY_TEST_HOMES);
    test::TestEnvironment::addReset([] { web::WebEngine::resetForTesting(); });
    return true;
}();

} // namespace
