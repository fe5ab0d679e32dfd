#pragma once

#include <cstdint>

// What the socket's read and write requests share: progress, the caller's
// tag and the time-out. Times and counts are 64-bit: 32-bit seconds since
// 1970 run out in 2038 and 32-bit counts at 2 GiB.
struct AsyncPacket {
    AsyncPacket(double timeout, long tag);

    uint64_t bytesDone = 0;
    long tag;
    // Whole seconds; below 1 the request never times out.
    int64_t timeout;
    // Seconds since 1970 at which the request expires without progress;
    // 0 for never.
    int64_t timeoutTime = 0;
    // Seconds since 1970 at which the request expires whatever its
    // progress (the socket's read deadline); 0 for none.
    int64_t deadline = 0;

    // Sets the expiry `timeout` seconds from now (progress was made).
    void restartTimeout();
    // The whole second `seconds` from now, as the expiries count time.
    static int64_t secondsFromNow(double seconds);
    // Whether the expiry or the deadline has passed.
    bool hasExpired() const;
};
