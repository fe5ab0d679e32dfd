#pragma once

// One running program per home. The first takes an exclusive lock on a file
// for its whole run and hears later launches on a local socket beside it; a
// later launch that finds the lock taken hands its request (a few strings:
// its command line's wish) to that socket and ends with the running
// program's answer. Only the lock decides who owns the home: each owner
// makes the socket anew, and a socket without a live owner answers nobody.
// The socket is the file when its path fits an address, else an abstract
// name made from the path; either way only the same user is heard. Main
// thread only (listening runs on the main run loop).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {

class SingleInstance {
public:
    using Request = std::vector<std::string>;
    using Reply = std::function<void(int status)>;
    // Bounds of a request, so a stranger cannot make the owner hold much.
    static constexpr size_t MaximumRequestBytes = 64 * 1024;
    static constexpr size_t MaximumRequestParts = 64;

    struct Taken {
        // The owner, or null when another process holds the lock.
        std::unique_ptr<SingleInstance> owner;
        // The holder's process id as it wrote it ("?" when unknown).
        std::string holder;
    };
    // Takes the lock at `lockPath` (made, 0600) for as long as the owner
    // lives; its socket will be `socketPath`.
    static Taken acquire(const std::string& lockPath, const std::string& socketPath);

    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Hears requests on the main run loop: `handler` gets each and answers
    // once through its reply (later is fine); a request not whole within
    // 5 seconds is dropped. False, logged, when the socket cannot be made.
    bool listen(std::function<void(Request, Reply)> handler);

    // Hands `request` to the owner of the socket and waits up to `timeout`
    // seconds for its answer (a connection refused is tried again within
    // that time: the owner may be starting). Nothing when none answered.
    static std::optional<int> forward(const std::string& socketPath, const Request& request, double timeout);

    struct Impl;

private:
    explicit SingleInstance(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};

} // namespace core
