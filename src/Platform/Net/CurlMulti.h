#pragma once

#include <memory>

namespace net {

class CurlTransfer;
class URLConnection;

// The curl multi handle of one thread's run loop: curl's sockets become
// descriptor sources and its timer a timerfd, both in the common modes, so
// loads go on during modal runs. curl keeps real time, never the loop's
// clock. After each of curl's steps the finished transfers are closed and
// the queued events delivered, outside every curl callback.
class CurlMulti {
public:
    // curl's process-wide set-up, once.
    static void initializeLibrary();

    // The calling thread's multi, made on first use.
    static CurlMulti& current();
    // Stops the calling thread's transfers and drops its multi.
    static void resetCurrent();
    // While the calling thread's multi is inside a step, queues the
    // connection's delivery for the step's end and answers true.
    static bool deferDelivery(const std::shared_ptr<URLConnection>& connection);
    // Outside a step: lets the calling thread's transfers that paused for
    // their connection's queue go on (one whose queue is still full pauses
    // again).
    static void resumePausedTransfers();

    CurlMulti();
    ~CurlMulti();
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    // Adds the transfer's easy handle; the connection is kept alive until
    // the transfer ends or is removed.
    void add(CurlTransfer& transfer, std::shared_ptr<URLConnection> connection);
    void remove(CurlTransfer& transfer);
    // The transfer paused itself until its queued data is handed on.
    void paused(CurlTransfer& transfer);

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

} // namespace net
