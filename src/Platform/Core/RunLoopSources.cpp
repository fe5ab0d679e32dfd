#include "Platform/Core/RunLoopSources.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <poll.h>
#include <sys/epoll.h>

namespace core {

struct DescriptorSource::Private { };

RunLoopSources::RunLoopSources(RunLoop& loop, int epollFd)
    : m_loop(loop)
    , m_epollFd(epollFd)
    , m_epollMode(RunLoop::DefaultMode)
{
}

std::shared_ptr<DescriptorSource> RunLoopSources::add(std::weak_ptr<RunLoop> loop, int fd, unsigned interest,
    DescriptorSource::Callback callback, std::string_view mode)
{
    if (fd < 0)
        throw Exception(Exception::InvalidArgument, fmt::format("RunLoop::addSource: invalid descriptor {}", fd));
    if (m_sourceByFd.count(fd))
        throw Exception(Exception::InvalidArgument, fmt::format("RunLoop::addSource: descriptor {} is already watched", fd));
    auto source = std::make_shared<DescriptorSource>(DescriptorSource::Private {}, std::move(loop), fd,
        interest & (DescriptorSource::Read | DescriptorSource::Write), std::string(mode), std::move(callback));
    source->m_id = m_nextSourceId++;
    if (int error = updateRegistration(*source)) {
        source->m_active = false;
        throw Exception(Exception::InvalidArgument,
            fmt::format("RunLoop::addSource: descriptor {} cannot be watched: {}", fd, strerror(error)));
    }
    m_sources.emplace(source->m_id, source);
    m_sourceByFd.emplace(fd, source->m_id);
    return source;
}

void RunLoopSources::interestChanged(DescriptorSource& source)
{
    updateOrReportClosed(source.shared_from_this());
}

void RunLoopSources::registerFor(std::string_view mode)
{
    m_epollMode = std::string(mode);
    for (auto& [id, source] : m_sources)
        updateOrReportClosed(source);
}

bool RunLoopSources::wantsRegistration(const DescriptorSource& source) const
{
    return source.m_active && (source.m_interest & (DescriptorSource::Read | DescriptorSource::Write))
        && (source.m_mode == m_epollMode || source.m_mode == RunLoop::CommonModes);
}

// Brings the epoll set in line with the source; returns the errno of a
// failed registration (0 when fine).
int RunLoopSources::updateRegistration(DescriptorSource& source)
{
    if (!wantsRegistration(source)) {
        if (source.m_registered) {
            epoll_ctl(m_epollFd, EPOLL_CTL_DEL, source.m_fd, nullptr);
            source.m_registered = false;
        }
        return 0;
    }
    epoll_event event {};
    if (source.m_interest & DescriptorSource::Read)
        event.events |= EPOLLIN | EPOLLRDHUP;
    if (source.m_interest & DescriptorSource::Write)
        event.events |= EPOLLOUT;
    event.data.u64 = source.m_id;
    int result = epoll_ctl(m_epollFd, source.m_registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, source.m_fd, &event);
    if (result != 0 && source.m_registered && errno == ENOENT)
        result = epoll_ctl(m_epollFd, EPOLL_CTL_ADD, source.m_fd, &event);
    if (result != 0) {
        int error = errno;
        source.m_registered = false;
        return error;
    }
    source.m_registered = true;
    return 0;
}

void RunLoopSources::updateOrReportClosed(const std::shared_ptr<DescriptorSource>& source)
{
    if (updateRegistration(*source) == 0)
        return;
    if (std::find(m_closed.begin(), m_closed.end(), source) == m_closed.end())
        m_closed.push_back(source);
    m_loop.wakeUp();
}

void RunLoopSources::forget(DescriptorSource& source)
{
    if (source.m_registered) {
        epoll_ctl(m_epollFd, EPOLL_CTL_DEL, source.m_fd, nullptr);
        source.m_registered = false;
    }
    auto byFd = m_sourceByFd.find(source.m_fd);
    if (byFd != m_sourceByFd.end() && byFd->second == source.m_id)
        m_sourceByFd.erase(byFd);
    m_sources.erase(source.m_id);
}

// epoll forgets a descriptor when it is closed and says nothing; find
// such sources when a pass has no events, so each is reported once.
void RunLoopSources::findClosed()
{
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<DescriptorSource>> watched;
    for (auto& [id, source] : m_sources) {
        if (source->m_registered) {
            fds.push_back(pollfd { source->m_fd, 0, 0 });
            watched.push_back(source);
        }
    }
    if (fds.empty() || poll(fds.data(), fds.size(), 0) <= 0)
        return;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents & POLLNVAL) {
            watched[i]->m_registered = false;
            m_closed.push_back(watched[i]);
        }
    }
}

void RunLoopSources::describeReady(std::vector<std::string>& parts) const
{
    for (auto& [id, source] : m_sources) {
        pollfd fd { source->m_fd, 0, 0 };
        if (source->m_interest & DescriptorSource::Read)
            fd.events |= POLLIN;
        if (source->m_interest & DescriptorSource::Write)
            fd.events |= POLLOUT;
        if (poll(&fd, 1, 0) > 0)
            parts.push_back(fmt::format("descriptor {}", source->m_fd));
    }
}

RunLoopSources::Taken RunLoopSources::takeAll()
{
    Taken taken;
    taken.sources = std::move(m_sources);
    m_sources.clear();
    m_sourceByFd.clear();
    for (auto& [id, source] : taken.sources) {
        if (source->m_registered)
            epoll_ctl(m_epollFd, EPOLL_CTL_DEL, source->m_fd, nullptr);
        source->m_registered = false;
        source->m_active = false;
        taken.callbacks.push_back(std::move(source->m_callback));
    }
    taken.closed = std::move(m_closed);
    m_closed.clear();
    return taken;
}

void RunLoopSources::resetPassState()
{
    m_lastClosedCheck = {};
    m_epollMode = std::string(RunLoop::DefaultMode);
}

} // namespace core
