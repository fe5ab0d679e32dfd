#pragma once

namespace core {

// The platform's low-memory news: posted by the system, observed by caches
// and the application delegate to drop what can be made again.
inline constexpr const char* DidReceiveMemoryWarningNotification = "DidReceiveMemoryWarningNotification";

// Posts the memory warning on the main thread (in a later pass), from any thread.
void postMemoryWarning();

} // namespace core
