#include "Platform/Core/GLibMainContextBridge.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <glib.h>
#include <limits>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <vector>

namespace core {

namespace {

// A descriptor the loop could not take (another source watches it) is looked
// at this often instead.
constexpr double FallbackPollInterval = 0.01;

unsigned interestOf(gushort events)
{
    unsigned interest = 0;
    if (events & (G_IO_IN | G_IO_PRI))
        interest |= DescriptorSource::Read;
    if (events & G_IO_OUT)
        interest |= DescriptorSource::Write;
    return interest;
}

// Which file a descriptor number names now.
std::pair<dev_t, ino_t> identityOf(int fd)
{
    struct stat status;
    if (fstat(fd, &status) != 0)
        return { 0, 0 };
    return { status.st_dev, status.st_ino };
}

class Bridge {
public:
    Bridge() : m_context(g_main_context_default())
    {
        if (!g_main_context_acquire(m_context))
            throw Exception(Exception::InternalInconsistency,
                "GLibMainContextBridge: the default main context is owned by another thread");
        m_fds.resize(16);
        RunLoop::PassObserver observer;
        observer.beforeWaiting = [this](double wait) { return beforeWaiting(wait); };
        observer.afterWaiting = [this] { afterWaiting(); };
        // GLib's prepare comes last, right before the wait. What other
        // observers do may read a descriptor's input into a library's own
        // queue (a round trip to the X server queues the events that came
        // before its reply in Xlib's); only a source's prepare looks there,
        // and the descriptor, now empty, would wake no one.
        observer.order = std::numeric_limits<int>::max();
        m_observation = RunLoop::main().addPassObserver(std::move(observer));
    }

    int watchedCount() const
    {
        return int(std::count_if(m_sources.begin(), m_sources.end(),
            [](const auto& item) { return item.second && item.second->isActive(); }));
    }

private:
    double beforeWaiting(double wait)
    {
        if (m_prepared)
            finishIteration(false); // a pass that never came back (an exception): close GLib's iteration
        gboolean ready = g_main_context_prepare(m_context, &m_priority);
        gint timeout = -1;
        m_count = g_main_context_query(m_context, m_priority, &timeout, m_fds.data(), gint(m_fds.size()));
        if (m_count > gint(m_fds.size())) {
            m_fds.resize(size_t(m_count));
            m_count = g_main_context_query(m_context, m_priority, &timeout, m_fds.data(), gint(m_fds.size()));
        }
        m_prepared = true;
        bool fallback = followDescriptors();
        if (ready)
            return 0;
        if (fallback)
            wait = std::min(wait, FallbackPollInterval);
        if (timeout >= 0)
            wait = std::min(wait, double(timeout) / 1000.0);
        return wait;
    }

    void afterWaiting()
    {
        if (m_prepared)
            finishIteration(true);
    }

    void finishIteration(bool dispatch)
    {
        m_prepared = false;
        // GLib wants the events of its own descriptors, not the loop's: one
        // poll that does not wait gives them.
        std::vector<pollfd> polled(static_cast<size_t>(m_count));
        for (gint i = 0; i < m_count; ++i)
            polled[size_t(i)] = pollfd { m_fds[size_t(i)].fd, short(m_fds[size_t(i)].events), 0 };
        if (m_count > 0 && poll(polled.data(), nfds_t(m_count), 0) < 0) {
            for (auto& fd : polled)
                fd.revents = 0;
        }
        for (gint i = 0; i < m_count; ++i)
            m_fds[size_t(i)].revents = gushort(polled[size_t(i)].revents);
        if (!g_main_context_check(m_context, m_priority, m_fds.data(), m_count) || !dispatch)
            return;
        g_main_context_dispatch(m_context);
        // What ran may have closed descriptors whose numbers the rest of the
        // pass could reuse for sources of its own: let go of them now.
        g_main_context_prepare(m_context, &m_priority);
        gint timeout = -1;
        m_count = std::min(g_main_context_query(m_context, m_priority, &timeout, m_fds.data(), gint(m_fds.size())),
            gint(m_fds.size()));
        followDescriptors();
        g_main_context_check(m_context, m_priority, m_fds.data(), m_count);
    }

    // Brings the loop's sources in line with the context's descriptors;
    // answers whether one of them could not be watched.
    bool followDescriptors()
    {
        std::map<int, unsigned> wanted;
        for (gint i = 0; i < m_count; ++i)
            wanted[m_fds[size_t(i)].fd] |= interestOf(m_fds[size_t(i)].events);
        for (auto it = m_sources.begin(); it != m_sources.end();) {
            auto want = wanted.find(it->first);
            // The test environment's reset drops every source: make it again.
            // A number GLib closed and opened again between two passes names
            // another file, which epoll has never been told of (it forgot the
            // old one on its close): watch it anew.
            if (want == wanted.end() || !it->second || !it->second->isActive()
                || identityOf(it->first) != m_identities[it->first]) {
                if (it->second)
                    it->second->remove();
                m_identities.erase(it->first);
                it = m_sources.erase(it);
                continue;
            }
            if (it->second->interest() != want->second)
                it->second->setInterest(want->second);
            ++it;
        }
        bool fallback = false;
        for (auto& [fd, interest] : wanted) {
            if (m_sources.count(fd))
                continue;
            try {
                m_sources[fd] = RunLoop::main().addSource(fd, interest, [](DescriptorSource&, unsigned) { },
                    RunLoop::CommonModes);
                m_identities[fd] = identityOf(fd);
            } catch (const Exception& exception) {
                // epoll takes no regular files (GTK's print-to-file backend
                // watches one); they are always ready anyway.
                struct stat status;
                bool regular = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
                if (!regular && !m_loggedFallback) {
                    log("Warning, GLib's descriptor {} cannot be watched by the run loop, polled instead: {}", fd,
                        exception.reason());
                    m_loggedFallback = true;
                }
                fallback = true;
            }
        }
        return fallback;
    }

    GMainContext* m_context;
    Observation m_observation;
    std::vector<GPollFD> m_fds;
    gint m_count = 0;
    gint m_priority = 0;
    bool m_prepared = false;
    bool m_loggedFallback = false;
    std::map<int, std::shared_ptr<DescriptorSource>> m_sources;
    std::map<int, std::pair<dev_t, ino_t>> m_identities;
};

Bridge* bridge = nullptr;

} // namespace

void GLibMainContextBridge::install()
{
    if (bridge)
        return;
    // For the life of the process: GLib's users outlive every other owner.
    bridge = new Bridge();
}

int GLibMainContextBridge::watchedDescriptorCountForTesting()
{
    return bridge ? bridge->watchedCount() : 0;
}

} // namespace core
