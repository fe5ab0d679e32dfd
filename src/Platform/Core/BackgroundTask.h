#pragma once

#include <cstdint>
#include <functional>

namespace core {

// Stand-in for the device's background execution grants. A long transfer or
// operation holds one from its start to its end; on the device the system
// could take the time back, calling the expiry handler. Here grants never
// expire in the program; tests expire them on purpose.
using BackgroundTaskId = uint32_t;
constexpr BackgroundTaskId InvalidBackgroundTask = 0;

// A distinct, non-zero id; `expiry` runs on the main thread if the grant
// expires while still held.
BackgroundTaskId beginBackgroundTask(std::function<void()> expiry);
// Ends a grant; unknown and already ended ids are ignored.
void endBackgroundTask(BackgroundTaskId id);
size_t activeBackgroundTaskCount();

// Runs the handler of each active grant once, on the main thread (at once
// when called there). A grant ended by an earlier handler is skipped.
void expireBackgroundTasksForTesting();
// Forgets every grant (the test environment).
void resetBackgroundTasksForTesting();

} // namespace core
