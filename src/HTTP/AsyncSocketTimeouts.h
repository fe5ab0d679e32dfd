#pragma once

#include <cstdint>

class AsyncSocket;

// The sockets' time-outs: one repeating timer posts
// "AsyncSocketTimeoutNotification" every sweep interval and one observer has
// each live socket whose current read or write expired check it, asking its
// delegate first. Each socket holds one entry, which lists it from its
// making to its end: the live sockets are a list through the entries
// themselves, so an idle socket costs no allocation for it. The list has its
// own lock; the checks run on the sweeping thread without it, since a check
// may close sockets.
class AsyncSocketTimeouts {
public:
    explicit AsyncSocketTimeouts(AsyncSocket& socket);
    ~AsyncSocketTimeouts() { leave(); }
    AsyncSocketTimeouts(const AsyncSocketTimeouts&) = delete;
    AsyncSocketTimeouts& operator=(const AsyncSocketTimeouts&) = delete;

    // Takes the socket off the list (before its parts go).
    void leave();
    // Makes the timer and the observer on this thread's loop (and centre)
    // unless they run; again should that loop have dropped its timer.
    static void startSweeping();

private:
    static void sweep();
    bool hasExpired() const;
    // A read or write past its time-out closes the socket unless the
    // delegate grants it another period.
    void check();
    // Closes the socket (true) when the side's current request expired and
    // the delegate lets it time out.
    template<class Side>
    bool expire(Side& side, const char* postponing, int64_t code);

    AsyncSocket& m_socket;
    AsyncSocketTimeouts* m_previous = nullptr;
    AsyncSocketTimeouts* m_next = nullptr;
    bool m_listed = true;
};
