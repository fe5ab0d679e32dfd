#include "Platform/Core/MainThread.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace core {

void performOnMainThread(std::function<void()> block)
{
    RunLoop::main().post(std::move(block));
}

namespace {

// Wakes the waiting sender when the block ran, or when the loop let it go
// without running it.
struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr error;

    void finish()
    {
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_all();
    }
};

struct CompletionGuard {
    explicit CompletionGuard(std::shared_ptr<Completion> owner) : completion(std::move(owner)) { }
    ~CompletionGuard() { completion->finish(); }
    std::shared_ptr<Completion> completion;
};

} // namespace

void performOnMainThreadAndWait(std::function<void()> block)
{
    if (Thread::isMainThread()) {
        block();
        return;
    }
    auto completion = std::make_shared<Completion>();
    auto guard = std::make_shared<CompletionGuard>(completion);
    RunLoop::main().post([block = std::move(block), guard]() mutable {
        try {
            block();
        } catch (...) {
            guard->completion->error = std::current_exception();
        }
        block = nullptr;
        guard->completion->finish();
    });
    guard.reset();
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    if (completion->error)
        std::rethrow_exception(completion->error);
}

} // namespace core
