#pragma once

#include "Platform/Core/DescriptorSource.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core {

class RunLoop;

// The descriptor sources of one run loop and their place in its epoll set:
// a source is registered while it is active, wants reading or writing and
// belongs to the mode the loop last ran in (or to the common modes). epoll
// forgets a descriptor closed while registered and says nothing; such a
// source is found by a poll over all sources, at most once a second on an
// idle pass, and handed to the loop once so it can report and drop it. The
// loop owns it (and so outlives it), dispatches the ready sources and is
// woken when a source turns out closed. What a pass asks of it is defined
// here, so those calls stay inline.
class RunLoopSources {
public:
    // The epoll ids of sources count up from here; lower ones are the loop's own.
    static constexpr uint64_t FirstId = 16;

    RunLoopSources(RunLoop& loop, int epollFd);
    RunLoopSources(const RunLoopSources&) = delete;
    RunLoopSources& operator=(const RunLoopSources&) = delete;

    // Watches `fd` (RunLoop::addSource); throws when it is watched already or
    // epoll refuses it.
    std::shared_ptr<DescriptorSource> add(std::weak_ptr<RunLoop> loop, int fd, unsigned interest,
        DescriptorSource::Callback callback, std::string_view mode);
    void interestChanged(DescriptorSource& source);
    void forget(DescriptorSource& source);

    // Registers the sources of `mode` and only those.
    void enterMode(std::string_view mode)
    {
        if (m_epollMode != mode)
            registerFor(mode);
    }

    std::shared_ptr<DescriptorSource> find(uint64_t id) const
    {
        auto it = m_sources.find(id);
        return it == m_sources.end() ? nullptr : it->second;
    }

    bool hasClosed() const { return !m_closed.empty(); }

    // Looking for closed descriptors costs a poll over every source, so an
    // idle pass does it at most once a second: passes stay O(ready).
    void lookForClosedWhenDue()
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastClosedCheck >= std::chrono::seconds(1)) {
            m_lastClosedCheck = now;
            findClosed();
        }
    }

    std::vector<std::shared_ptr<DescriptorSource>> takeClosed()
    {
        auto closed = std::move(m_closed);
        m_closed.clear();
        return closed;
    }

    // Names each descriptor ready now (the test pump's report).
    void describeReady(std::vector<std::string>& parts) const;

    // Every source, taken out of the loop and made inactive; released (in
    // reverse order of the members) when it goes.
    struct Taken {
        std::unordered_map<uint64_t, std::shared_ptr<DescriptorSource>> sources;
        std::vector<std::shared_ptr<DescriptorSource::Callback>> callbacks;
        std::vector<std::shared_ptr<DescriptorSource>> closed;
        bool empty() const { return sources.empty() && closed.empty(); }
    };
    Taken takeAll();
    // Back to the default mode, with the next idle pass looking for closed
    // descriptors (the test environment's reset).
    void resetPassState();

private:
    void registerFor(std::string_view mode);
    bool wantsRegistration(const DescriptorSource& source) const;
    int updateRegistration(DescriptorSource& source);
    void updateOrReportClosed(const std::shared_ptr<DescriptorSource>& source);
    void findClosed();

    RunLoop& m_loop;
    int m_epollFd;
    std::unordered_map<uint64_t, std::shared_ptr<DescriptorSource>> m_sources;
    std::unordered_map<int, uint64_t> m_sourceByFd;
    uint64_t m_nextSourceId = FirstId;
    std::string m_epollMode;
    std::vector<std::shared_ptr<DescriptorSource>> m_closed;
    // When the last look for closed descriptors was made (real time).
    std::chrono::steady_clock::time_point m_lastClosedCheck {};
};

} // namespace core
