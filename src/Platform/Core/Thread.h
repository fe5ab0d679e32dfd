#pragma once

#include "Platform/Core/Value.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace core {

class RunLoop;

// A thread of the program: a detached body with a name and a cancelled flag
// that the body polls. Every detached thread is listed in a registry until
// its body and its run loop are gone, so that the end of a run (or of a
// test) can wait for them.
class Thread : public std::enable_shared_from_this<Thread> {
public:
    struct Private;
    Thread(const Private&, std::string name);

    // Starts `body` on a new thread named `name` and lets it go.
    static std::shared_ptr<Thread> detach(std::string name, std::function<void()> body);
    // The calling thread's object (threads not started here get an
    // unregistered one).
    static std::shared_ptr<Thread> current();
    static bool isMainThread();
    // Runs work(from, to) over [0, count): thousands of items in two halves,
    // the second on a helper thread, fewer (or when no thread can be had)
    // in one call here. Returns where the second half begins (count when
    // the work was not split).
    static size_t inTwoHalves(size_t count, const std::function<void(size_t, size_t)>& work);

    const std::string& name() const { return m_name; }
    bool isCancelled() const { return m_cancelled.load(); }
    // Sets the flag and wakes the thread's run loop, so that a body waiting
    // in it sees the flag.
    void cancel();
    bool isFinished() const { return m_finished.load(); }
    // Waits until the thread has ended: its body, its values and its run
    // loop gone, and off the registry. Never on the thread itself.
    void waitUntilFinished();

    // Values the thread keeps for itself (a per-thread store, a cache),
    // read and written only on the thread. A detached thread lets them go
    // when its body returns, before it counts as finished.
    Value::Dictionary& threadDictionary() { return m_dictionary; }

    // Waits until no detached thread runs; false after `timeout` seconds.
    static bool waitForAll(double timeout);
    static std::vector<std::string> runningThreadNames();

private:
    friend class RunLoop;
    static void markMainThread();
    void attachRunLoop(const std::shared_ptr<RunLoop>& loop);

    const std::string m_name;
    std::atomic<bool> m_cancelled { false };
    std::atomic<bool> m_finished { false };
    mutable std::mutex m_mutex;
    std::weak_ptr<RunLoop> m_loop;
    Value::Dictionary m_dictionary;
};

} // namespace core
