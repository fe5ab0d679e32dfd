#include "Platform/Net/AvahiRunLoopPoll.h"

#include "Platform/Core/DescriptorSource.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <avahi-common/watch.h>
#include <sys/time.h>
#include <unordered_set>

struct AvahiWatch {
    net::AvahiRunLoopPoll::Impl* owner;
    int fd;
    AvahiWatchEvent events;
    AvahiWatchEvent happened = AvahiWatchEvent(0);
    AvahiWatchCallback callback;
    void* userdata;
    std::shared_ptr<core::DescriptorSource> source;
};

struct AvahiTimeout {
    net::AvahiRunLoopPoll::Impl* owner;
    AvahiTimeoutCallback callback;
    void* userdata;
    std::shared_ptr<core::Timer> timer;
};

namespace net {

struct AvahiRunLoopPoll::Impl {
    ::AvahiPoll api {};
    std::weak_ptr<core::RunLoop> loop;
    std::unordered_set<AvahiWatch*> watches;
    std::unordered_set<AvahiTimeout*> timeouts;

    static unsigned interestFor(AvahiWatchEvent events)
    {
        return (events & AVAHI_WATCH_IN ? core::DescriptorSource::Read : 0u)
            | (events & AVAHI_WATCH_OUT ? core::DescriptorSource::Write : 0u);
    }

    static void watchReady(AvahiWatch* watch, unsigned events)
    {
        int happened = (events & core::DescriptorSource::Read ? AVAHI_WATCH_IN : 0)
            | (events & core::DescriptorSource::Write ? AVAHI_WATCH_OUT : 0)
            | (events & core::DescriptorSource::HangUp ? AVAHI_WATCH_HUP : 0)
            | (events & core::DescriptorSource::Error ? AVAHI_WATCH_ERR : 0);
        watch->happened = AvahiWatchEvent(happened);
        // The callback may free the watch: nothing touches it afterwards.
        watch->callback(watch, watch->fd, AvahiWatchEvent(happened), watch->userdata);
    }

    static AvahiWatch* watchNew(const ::AvahiPoll* api, int fd, AvahiWatchEvent events, AvahiWatchCallback callback,
        void* userdata)
    {
        auto* self = static_cast<Impl*>(api->userdata);
        auto loop = self->loop.lock();
        if (!loop)
            return nullptr;
        auto* watch = new AvahiWatch { self, fd, events, AvahiWatchEvent(0), callback, userdata, nullptr };
        watch->source = loop->addSource(fd, interestFor(events), [watch](core::DescriptorSource&, unsigned ready) {
            watchReady(watch, ready);
        }, core::RunLoop::CommonModes);
        self->watches.insert(watch);
        return watch;
    }

    static void watchUpdate(AvahiWatch* watch, AvahiWatchEvent events)
    {
        watch->events = events;
        if (watch->source)
            watch->source->setInterest(interestFor(events));
    }

    static AvahiWatchEvent watchGetEvents(AvahiWatch* watch) { return watch->happened; }

    static void watchFree(AvahiWatch* watch)
    {
        if (watch->source)
            watch->source->remove();
        watch->owner->watches.erase(watch);
        delete watch;
    }

    static void arm(AvahiTimeout* timeout, const timeval* when)
    {
        if (timeout->timer)
            timeout->timer->invalidate();
        timeout->timer.reset();
        auto loop = timeout->owner->loop.lock();
        if (!when || !loop)
            return;
        // Avahi speaks in wall-clock times; the loop in intervals.
        timeval now {};
        gettimeofday(&now, nullptr);
        double delay = double(when->tv_sec - now.tv_sec) + double(when->tv_usec - now.tv_usec) / 1e6;
        timeout->timer = loop->schedule(delay > 0 ? delay : 0, false, [timeout](core::Timer&) {
            timeout->timer.reset();
            timeout->callback(timeout, timeout->userdata);
        }, core::RunLoop::CommonModes);
    }

    static AvahiTimeout* timeoutNew(const ::AvahiPoll* api, const timeval* when, AvahiTimeoutCallback callback,
        void* userdata)
    {
        auto* self = static_cast<Impl*>(api->userdata);
        auto* timeout = new AvahiTimeout { self, callback, userdata, nullptr };
        self->timeouts.insert(timeout);
        arm(timeout, when);
        return timeout;
    }

    static void timeoutUpdate(AvahiTimeout* timeout, const timeval* when) { arm(timeout, when); }

    static void timeoutFree(AvahiTimeout* timeout)
    {
        if (timeout->timer)
            timeout->timer->invalidate();
        timeout->owner->timeouts.erase(timeout);
        delete timeout;
    }
};

AvahiRunLoopPoll::AvahiRunLoopPoll(core::RunLoop& loop)
    : m(std::make_unique<Impl>())
{
    m->loop = loop.shared_from_this();
    m->api.userdata = m.get();
    m->api.watch_new = &Impl::watchNew;
    m->api.watch_update = &Impl::watchUpdate;
    m->api.watch_get_events = &Impl::watchGetEvents;
    m->api.watch_free = &Impl::watchFree;
    m->api.timeout_new = &Impl::timeoutNew;
    m->api.timeout_update = &Impl::timeoutUpdate;
    m->api.timeout_free = &Impl::timeoutFree;
}

AvahiRunLoopPoll::~AvahiRunLoopPoll()
{
    for (auto* watch : std::unordered_set(m->watches))
        Impl::watchFree(watch);
    for (auto* timeout : std::unordered_set(m->timeouts))
        Impl::timeoutFree(timeout);
}

const ::AvahiPoll* AvahiRunLoopPoll::api() const
{
    return &m->api;
}

} // namespace net
