#pragma once

#include <cstdint>

class AsyncSocket;

// The sockets' time-outs (static only): one repeating timer posts
// "AsyncSocketTimeoutNotification" every sweep interval and one observer has
// each live socket whose current read or write expired check it, asking its
// delegate first. A socket is listed from its making to its end; the list
// runs through the sockets themselves, so an idle socket costs no
// allocation for it. The list has its own lock; the checks run on the
// sweeping thread without it, since a check may close sockets.
class AsyncSocketTimeouts {
public:
    static void enter(AsyncSocket& socket);
    static void leave(AsyncSocket& socket);
    // Makes the timer and the observer on this thread's loop (and centre)
    // unless they run; again should that loop have dropped its timer.
    static void startSweeping();

private:
    static void sweep();
    static bool hasExpired(const AsyncSocket& socket);
    // A read or write past its time-out closes the socket unless the
    // delegate grants it another period.
    static void check(AsyncSocket& socket);
    // Closes the socket (true) when the side's current request expired and
    // the delegate lets it time out.
    template<class Side>
    static bool expire(AsyncSocket& socket, Side& side, const char* postponing, int64_t code);
};
