#include "Platform/Core/Thread.h"

#include "Platform/Core/Assert.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fmt/format.h>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace core {

struct Thread::Private { };

namespace {

// The running threads. Never destroyed: a detached thread that ends while
// the program exits still unregisters into it after static destruction.
struct Registry {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<Thread>> running;
};
Registry& registry()
{
    static Registry* shared = new Registry;
    return *shared;
}

// A function-local static: the main thread may be marked from another
// file's static initialiser, before this file's globals are initialised.
std::atomic<std::thread::id>& mainThreadId()
{
    static std::atomic<std::thread::id> id;
    return id;
}
thread_local std::shared_ptr<Thread> currentThread;

} // namespace

Thread::Thread(const Private&, std::string name)
    : m_name(std::move(name))
{
}

std::shared_ptr<Thread> Thread::detach(std::string name, std::function<void()> body)
{
    auto thread = std::make_shared<Thread>(Private {}, std::move(name));
    {
        std::lock_guard lock(registry().mutex);
        registry().running.push_back(thread);
    }
    auto unregister = [thread] {
        {
            std::lock_guard lock(registry().mutex);
            thread->m_finished = true;
            std::erase(registry().running, thread);
        }
        registry().changed.notify_all();
    };
    try {
        std::thread([thread, unregister, body = std::move(body)]() mutable {
            currentThread = thread;
            // The kernel keeps 15 characters of a thread's name.
            pthread_setname_np(pthread_self(), thread->m_name.substr(0, 15).c_str());
            ExceptionReporter::guard(fmt::format("thread \"{}\"", thread->m_name), body);
            body = nullptr;
            ExceptionReporter::guard(fmt::format("thread \"{}\"", thread->m_name),
                [&] { Value::Dictionary().swap(thread->m_dictionary); });
            RunLoop::endCurrentThread();
            unregister();
        }).detach();
    } catch (...) {
        unregister();
        throw;
    }
    return thread;
}

std::shared_ptr<Thread> Thread::current()
{
    if (!currentThread)
        currentThread = std::make_shared<Thread>(Private {}, isMainThread() ? "main" : "");
    return currentThread;
}

bool Thread::isMainThread()
{
    return mainThreadId().load() == std::this_thread::get_id();
}

void Thread::markMainThread()
{
    mainThreadId() = std::this_thread::get_id();
}

void Thread::cancel()
{
    m_cancelled = true;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(m_mutex);
        loop = m_loop.lock();
    }
    if (loop)
        loop->wakeUp();
}

void Thread::attachRunLoop(const std::shared_ptr<RunLoop>& loop)
{
    std::lock_guard lock(m_mutex);
    m_loop = loop;
}

void Thread::waitUntilFinished()
{
    TANDRY_ASSERT(currentThread.get() != this);
    std::unique_lock lock(registry().mutex);
    registry().changed.wait(lock, [this] { return m_finished.load(); });
}

bool Thread::waitForAll(double timeout)
{
    std::unique_lock lock(registry().mutex);
    auto wait = std::chrono::duration<double>(std::max(timeout, 0.0));
    return registry().changed.wait_for(lock, wait, [] { return registry().running.empty(); });
}

std::vector<std::string> Thread::runningThreadNames()
{
    std::lock_guard lock(registry().mutex);
    std::vector<std::string> names;
    for (auto& thread : registry().running)
        names.push_back(thread->m_name);
    return names;
}

size_t Thread::inTwoHalves(size_t count, const std::function<void(size_t, size_t)>& work)
{
    size_t half = count >= 4096 ? count / 2 : count;
    std::thread helper;
    try {
        if (half < count)
            helper = std::thread(work, half, count);
    } catch (const std::system_error&) {
        half = count;
    }
    work(0, half);
    if (helper.joinable())
        helper.join();
    return half;
}

} // namespace core
