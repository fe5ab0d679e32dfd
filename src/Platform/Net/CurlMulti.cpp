#include "Platform/Net/CurlMulti.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/ExceptionReporter.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/CurlTransfer.h"
#include "Platform/Net/URLConnection.h"

#include <chrono>
#include <curl/curl.h>
#include <mutex>
#include <optional>
#include <sys/timerfd.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace net {

namespace {

using SteadyClock = std::chrono::steady_clock;

thread_local std::unique_ptr<CurlMulti> threadMulti;

} // namespace

struct CurlMulti::Impl {
    CurlMulti* self = nullptr;
    CURLM* multi = nullptr;
    std::weak_ptr<core::RunLoop> loop;
    const core::RunLoop* loopAddress = nullptr;
    int timerFd = -1;
    std::shared_ptr<core::DescriptorSource> timerSource;
    std::unordered_map<curl_socket_t, std::shared_ptr<core::DescriptorSource>> sockets;
    struct Running {
        CurlTransfer* transfer;
        std::shared_ptr<URLConnection> connection;
    };
    std::unordered_map<CURL*, Running> running;
    std::vector<std::shared_ptr<URLConnection>> pending;
    std::vector<CURL*> pausedTransfers;
    // Inside a step: events wait for its end.
    int depth = 0;
    // The timerfd serves curl's timer and the check for transfers that
    // have made no progress for their time-out.
    std::optional<SteadyClock::time_point> curlDue;
    std::optional<SteadyClock::time_point> idleCheckDue;

    static int socketChanged(CURL*, curl_socket_t socket, int what, void* user, void*)
    {
        return static_cast<Impl*>(user)->watch(socket, what);
    }

    static int timerChanged(CURLM*, long milliseconds, void* user)
    {
        auto& impl = *static_cast<Impl*>(user);
        if (milliseconds < 0)
            impl.curlDue.reset();
        else
            impl.curlDue = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
        impl.arm();
        return 0;
    }

    void arm()
    {
        std::optional<SteadyClock::time_point> due = curlDue;
        if (idleCheckDue && (!due || *idleCheckDue < *due))
            due = idleCheckDue;
        itimerspec timeout {};
        if (due) {
            const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(*due - SteadyClock::now()).count();
            // Zero would disarm the timer.
            const int64_t nanoseconds = std::max<int64_t>(wait, 1);
            timeout.it_value.tv_sec = nanoseconds / 1000000000;
            timeout.it_value.tv_nsec = nanoseconds % 1000000000;
        }
        timerfd_settime(timerFd, 0, &timeout, nullptr);
    }

    void scheduleIdleCheck(SteadyClock::time_point when)
    {
        if (!idleCheckDue || when < *idleCheckDue) {
            idleCheckDue = when;
            arm();
        }
    }

    // Fails the transfers that made no progress for their time-out and
    // finds when the next one could.
    void checkIdle(SteadyClock::time_point now)
    {
        idleCheckDue.reset();
        std::vector<CURL*> expired;
        for (auto& [easy, entry] : running) {
            const auto timeout = entry.transfer->idleTimeout();
            if (!timeout)
                continue;
            const auto deadline = entry.transfer->lastActivity() + *timeout;
            if (deadline <= now)
                expired.push_back(easy);
            else if (!idleCheckDue || deadline < *idleCheckDue)
                idleCheckDue = deadline;
        }
        for (CURL* easy : expired)
            end(easy, CURLE_OPERATION_TIMEDOUT);
    }

    void end(CURL* easy, CURLcode result)
    {
        auto it = running.find(easy);
        if (it == running.end())
            return;
        Running done = std::move(it->second);
        running.erase(it);
        curl_multi_remove_handle(multi, easy);
        done.transfer->detached();
        done.transfer->didEnd(result);
    }

    int watch(curl_socket_t socket, int what)
    {
        auto it = sockets.find(socket);
        if (what == CURL_POLL_REMOVE) {
            if (it != sockets.end()) {
                it->second->remove();
                sockets.erase(it);
            }
            return 0;
        }
        unsigned interest = 0;
        if (what & CURL_POLL_IN)
            interest |= core::DescriptorSource::Read;
        if (what & CURL_POLL_OUT)
            interest |= core::DescriptorSource::Write;
        if (it != sockets.end() && it->second->isActive()) {
            it->second->setInterest(interest);
            return 0;
        }
        auto runLoop = loop.lock();
        if (!runLoop)
            return -1;
        try {
            sockets[socket] = runLoop->addSource(
                socket, interest,
                [this, socket](core::DescriptorSource& source, unsigned events) {
                    int mask = 0;
                    if (events & core::DescriptorSource::Read)
                        mask |= CURL_CSELECT_IN;
                    if (events & core::DescriptorSource::Write)
                        mask |= CURL_CSELECT_OUT;
                    // A peer that hung up may have left data to read first.
                    if ((events & core::DescriptorSource::HangUp) && !mask)
                        mask |= (source.interest() & core::DescriptorSource::Write) ? CURL_CSELECT_OUT : CURL_CSELECT_IN;
                    if (events & core::DescriptorSource::Error)
                        mask |= CURL_CSELECT_ERR;
                    step(socket, mask);
                },
                core::RunLoop::CommonModes);
        } catch (const std::exception& exception) {
            core::log("Warning, URL loading cannot watch socket {}: {}", socket, exception.what());
            return -1;
        }
        return 0;
    }

    void timerFired()
    {
        uint64_t expirations;
        while (read(timerFd, &expirations, sizeof expirations) > 0) { }
        const auto now = SteadyClock::now();
        ++depth;
        if (curlDue && *curlDue <= now) {
            curlDue.reset();
            int stillRunning = 0;
            curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &stillRunning);
            finishDone();
        }
        if (idleCheckDue && *idleCheckDue <= now)
            checkIdle(now);
        --depth;
        arm();
        if (depth == 0)
            deliverPending();
    }

    void step(curl_socket_t socket, int mask)
    {
        ++depth;
        int stillRunning = 0;
        curl_multi_socket_action(multi, socket, mask, &stillRunning);
        finishDone();
        --depth;
        if (depth == 0)
            deliverPending();
    }

    void finishDone()
    {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            end(message->easy_handle, message->data.result);
        }
    }

    // Hands on the queued events, then lets the transfers that paused for
    // them go on.
    void deliverPending()
    {
        while (!pending.empty()) {
            auto batch = std::move(pending);
            pending.clear();
            for (auto& connection : batch)
                core::ExceptionReporter::guard("a URL connection's delegate", [&] { connection->deliverEvents(); });
            if (pending.empty())
                resumePaused();
        }
    }

    void resumePaused()
    {
        if (pausedTransfers.empty())
            return;
        auto resuming = std::move(pausedTransfers);
        pausedTransfers.clear();
        ++depth;
        for (CURL* easy : resuming) {
            auto it = running.find(easy);
            if (it != running.end())
                it->second.transfer->resume();
        }
        --depth;
    }
};

void CurlMulti::initializeLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Without it every name lookup would block the run loop.
        if (!(curl_version_info(CURLVERSION_NOW)->features & CURL_VERSION_ASYNCHDNS))
            core::log("Warning, libcurl resolves host names synchronously; URL loads will block their run loop");
    });
}

CurlMulti& CurlMulti::current()
{
    core::RunLoop& loop = core::RunLoop::current();
    if (!threadMulti || threadMulti->m->loopAddress != &loop || threadMulti->m->loop.expired()) {
        threadMulti.reset();
        threadMulti = std::make_unique<CurlMulti>();
    }
    return *threadMulti;
}

void CurlMulti::resetCurrent()
{
    threadMulti.reset();
}

bool CurlMulti::deferDelivery(const std::shared_ptr<URLConnection>& connection)
{
    if (!threadMulti || threadMulti->m->depth == 0)
        return false;
    threadMulti->m->pending.push_back(connection);
    return true;
}

void CurlMulti::resumePausedTransfers()
{
    if (!threadMulti || threadMulti->m->depth > 0 || threadMulti->m->pausedTransfers.empty())
        return;
    threadMulti->m->resumePaused();
    threadMulti->m->deliverPending();
}

CurlMulti::CurlMulti()
    : m(std::make_unique<Impl>())
{
    initializeLibrary();
    core::RunLoop& loop = core::RunLoop::current();
    m->self = this;
    m->loop = loop.weak_from_this();
    m->loopAddress = &loop;
    m->multi = curl_multi_init();
    m->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (!m->multi || m->timerFd < 0)
        throw std::runtime_error("URL loading cannot start: no curl multi handle or timer");
    curl_multi_setopt(m->multi, CURLMOPT_SOCKETFUNCTION, &Impl::socketChanged);
    curl_multi_setopt(m->multi, CURLMOPT_SOCKETDATA, m.get());
    curl_multi_setopt(m->multi, CURLMOPT_TIMERFUNCTION, &Impl::timerChanged);
    curl_multi_setopt(m->multi, CURLMOPT_TIMERDATA, m.get());
    Impl* impl = m.get();
    m->timerSource = loop.addSource(
        m->timerFd, core::DescriptorSource::Read, [impl](core::DescriptorSource&, unsigned) { impl->timerFired(); },
        core::RunLoop::CommonModes);
}

CurlMulti::~CurlMulti()
{
    // Let every transfer go first, then tell their connections, whose
    // release may end them.
    auto running = std::move(m->running);
    m->running.clear();
    for (auto& [easy, entry] : running) {
        curl_multi_remove_handle(m->multi, easy);
        entry.transfer->detached();
    }
    m->pending.clear();
    for (auto& [easy, entry] : running)
        entry.connection->cancel();
    running.clear();
    for (auto& [socket, source] : m->sockets)
        source->remove();
    m->sockets.clear();
    if (m->timerSource)
        m->timerSource->remove();
    curl_multi_cleanup(m->multi);
    close(m->timerFd);
}

void CurlMulti::add(CurlTransfer& transfer, std::shared_ptr<URLConnection> connection)
{
    CURL* easy = transfer.easyHandle();
    m->running[easy] = Impl::Running { &transfer, connection };
    transfer.attached(this);
    if (curl_multi_add_handle(m->multi, easy) != CURLM_OK) {
        m->running.erase(easy);
        transfer.detached();
        transfer.didEnd(CURLE_FAILED_INIT);
        return;
    }
    if (auto timeout = transfer.idleTimeout())
        m->scheduleIdleCheck(transfer.lastActivity() + *timeout);
}

void CurlMulti::paused(CurlTransfer& transfer)
{
    m->pausedTransfers.push_back(transfer.easyHandle());
}

void CurlMulti::remove(CurlTransfer& transfer)
{
    CURL* easy = transfer.easyHandle();
    auto it = m->running.find(easy);
    if (it == m->running.end())
        return;
    auto keepAlive = std::move(it->second.connection);
    m->running.erase(it);
    curl_multi_remove_handle(m->multi, easy);
    transfer.detached();
}

} // namespace net
