#pragma once

#include <string>

namespace test {

// Tests that change links, addresses and routes, or run their own
// announcement daemon, do so inside a network namespace of their own
// (tests/Support/netns-run.sh). The test program runs the one test again
// in there; outside, the test passes or fails with that run.
enum class NetworkNamespace { Inside, Ran, Unavailable };
NetworkNamespace runInNetworkNamespace();

// Runs a shell command line inside the namespace; false (with the output
// added to the test's failure) when it fails.
bool shell(const std::string& commandLine);

} // namespace test

// First statement of such a test.
#define TANDRY_IN_NETWORK_NAMESPACE()                                                 \
    do {                                                                             \
        switch (test::runInNetworkNamespace()) {                                     \
        case test::NetworkNamespace::Inside:                                         \
            break;                                                                   \
        case test::NetworkNamespace::Unavailable:                                    \
            GTEST_SKIP() << "needs root and network namespaces (netns-run.sh)";      \
        case test::NetworkNamespace::Ran:                                            \
            return;                                                                  \
        }                                                                            \
    } while (0)
