#pragma once

// A one-shot GLib timeout on the default main context (which joins the main
// run loop) that runs a function unless cancelled first. It is cancelled
// when it goes, so the function never outlives its owner; it is no longer
// running by the time the function runs, which may start it again.

#include <functional>

namespace web {

class GtkTimeout {
public:
    GtkTimeout() = default;
    ~GtkTimeout();
    GtkTimeout(const GtkTimeout&) = delete;
    GtkTimeout& operator=(const GtkTimeout&) = delete;

    // `fire` in `milliseconds` (one already running is cancelled).
    void start(unsigned milliseconds, std::function<void()> fire);
    void cancel();
    bool isRunning() const { return m_source != 0; }

private:
    unsigned m_source = 0;
};

} // namespace web
