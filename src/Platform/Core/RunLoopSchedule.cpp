#include "Platform/Core/RunLoopSchedule.h"

#include <fmt/format.h>

namespace core {

namespace {

std::string describeScheduled(const RunLoopSchedule::TimerEntry& entry)
{
    if (entry.perform) {
        const auto& tag = entry.perform->key.tag;
        return tag.empty() ? std::string("perform") : fmt::format("perform \"{}\"", tag);
    }
    if (entry.timer->repeats())
        return fmt::format("timer every {} s", entry.timer->timeInterval());
    return "timer";
}

} // namespace

RunLoopSchedule::Heap& RunLoopSchedule::heapFor(std::string_view name)
{
    auto it = m_heaps.find(name);
    if (it == m_heaps.end())
        it = m_heaps.emplace(std::string(name), Heap()).first;
    return it->second;
}

void RunLoopSchedule::push(Heap& heap, TimerEntry entry)
{
    entry.sequence = m_nextSequence++;
    heap.entries.push_back(std::move(entry));
    std::push_heap(heap.entries.begin(), heap.entries.end(), later);
    ++heap.live;
}

// Lazy deletion keeps cancelling O(1); a sweep once stale entries
// dominate keeps the heap proportional to the live work.
void RunLoopSchedule::sweep(Heap& heap)
{
    if (heap.entries.size() < 256 || heap.entries.size() < 2 * heap.live)
        return;
    std::erase_if(heap.entries, [](const TimerEntry& entry) { return !isCurrent(entry); });
    std::make_heap(heap.entries.begin(), heap.entries.end(), later);
}

void RunLoopSchedule::leaveHeap(Heap& heap)
{
    --heap.live;
    sweep(heap);
}

void RunLoopSchedule::addPerform(std::shared_ptr<Perform> perform, int64_t due)
{
    if (perform->key.target)
        m_performsByTarget.emplace(perform->key.target.get(), perform);
    Heap& heap = heapFor(perform->mode);
    push(heap, TimerEntry { due, 0, 0, nullptr, std::move(perform) });
}

void RunLoopSchedule::pushTimer(const std::shared_ptr<Timer>& timer, int64_t due)
{
    Heap& heap = heapFor(timer->m_mode);
    if (timer->m_inHeap)
        --heap.live;
    ++timer->m_generation;
    timer->m_due = due;
    timer->m_inHeap = true;
    push(heap, TimerEntry { due, 0, timer->m_generation, timer, nullptr });
    sweep(heap);
}

void RunLoopSchedule::timerInvalidated(Timer& timer)
{
    if (!timer.m_inHeap)
        return;
    timer.m_inHeap = false;
    leaveHeap(heapFor(timer.m_mode));
}

void RunLoopSchedule::unindex(const Perform& perform)
{
    if (!perform.key.target)
        return;
    auto range = m_performsByTarget.equal_range(perform.key.target.get());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.get() == &perform) {
            m_performsByTarget.erase(it);
            return;
        }
    }
}

template<typename Match> void RunLoopSchedule::cancelMatching(const void* target, Match match)
{
    std::vector<std::shared_ptr<Perform>> cancelled;
    auto range = m_performsByTarget.equal_range(target);
    for (auto it = range.first; it != range.second;) {
        if (match(*it->second)) {
            cancelled.push_back(std::move(it->second));
            it = m_performsByTarget.erase(it);
        } else {
            ++it;
        }
    }
    // Released after the index is consistent: a target's destructor may cancel again.
    std::vector<std::function<void()>> runs;
    std::vector<std::shared_ptr<const void>> targets;
    for (auto& perform : cancelled) {
        perform->finished = true;
        if (perform->inHeap) {
            perform->inHeap = false;
            leaveHeap(heapFor(perform->mode));
        }
        runs.push_back(std::move(perform->run));
        targets.push_back(std::move(perform->key.target));
    }
}

void RunLoopSchedule::cancel(const PerformKey& key)
{
    cancelMatching(key.target.get(),
        [&](const Perform& perform) { return perform.key.tag == key.tag && perform.key.argument == key.argument; });
}

void RunLoopSchedule::cancel(const void* target)
{
    cancelMatching(target, [](const Perform&) { return true; });
}

void RunLoopSchedule::describeDue(int64_t now, std::vector<std::string>& parts) const
{
    for (auto& [name, heap] : m_heaps) {
        for (auto& entry : heap.entries) {
            if (isCurrent(entry) && entry.due <= now)
                parts.push_back(describeScheduled(entry) + (name == RunLoop::DefaultMode ? "" : " in mode " + name));
        }
    }
}

RunLoopSchedule::Taken RunLoopSchedule::takeAll()
{
    Taken taken;
    taken.heaps = std::move(m_heaps);
    m_heaps.clear();
    for (auto& [name, heap] : taken.heaps) {
        for (auto& entry : heap.entries) {
            if (entry.timer) {
                entry.timer->m_inHeap = false;
                entry.timer->m_valid = false;
                taken.timerCallbacks.push_back(std::move(entry.timer->m_fire));
            } else {
                entry.perform->inHeap = false;
                entry.perform->finished = true;
                taken.performs.push_back(std::move(entry.perform->run));
                taken.targets.push_back(std::move(entry.perform->key.target));
            }
        }
    }
    taken.byTarget = std::move(m_performsByTarget);
    m_performsByTarget.clear();
    return taken;
}

} // namespace core
