#pragma once

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core {

// The timers and delayed performs of one run loop: a min-heap of firings
// per mode, by due time and, for equal times, scheduling order, and the
// pending performs indexed by target for cancelling. Timers and performs
// that were cancelled or moved leave their old entries behind (cancelling
// stays O(1)); those are skipped when they come up and swept out once they
// outnumber the live ones. The loop owns it, takes the due firings out once
// a pass and runs them; it belongs to the loop's thread. What a pass asks
// of it is defined here, so those calls stay inline.
class RunLoopSchedule {
public:
    struct Perform {
        std::function<void()> run;
        PerformKey key;
        std::string mode;
        bool finished = false; // ran or cancelled
        bool inHeap = false;
    };

    // One scheduled firing: of a timer (current while its generation holds)
    // or of a perform.
    struct TimerEntry {
        int64_t due;
        uint64_t sequence;
        uint64_t generation;
        std::shared_ptr<Timer> timer;
        std::shared_ptr<Perform> perform;
    };

    struct Heap {
        std::vector<TimerEntry> entries;
        size_t live = 0;
    };

    static bool later(const TimerEntry& a, const TimerEntry& b)
    {
        return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
    }

    static bool isCurrent(const TimerEntry& entry)
    {
        if (entry.timer)
            return entry.timer->m_inHeap && entry.timer->m_generation == entry.generation;
        return entry.perform->inHeap;
    }

    // Schedules a perform (indexed by its target, if any) in its mode.
    void addPerform(std::shared_ptr<Perform> perform, int64_t due);
    // (Re)schedules the timer's next firing; an earlier one is dropped.
    void pushTimer(const std::shared_ptr<Timer>& timer, int64_t due);
    void timerInvalidated(Timer& timer);
    // Takes a perform that is about to run out of the target index.
    void unindex(const Perform& perform);
    // Drops the pending performs with the key's target, tag and an equal
    // argument, or every pending perform of the target.
    void cancel(const PerformKey& key);
    void cancel(const void* target);

    // The earliest due time of what runs in `runMode` (its own and the common
    // modes' items).
    std::optional<int64_t> nextDueIn(std::string_view runMode)
    {
        auto first = nextDue(findHeap(runMode));
        if (runMode == RunLoop::CommonModes)
            return first;
        auto common = nextDue(findHeap(RunLoop::CommonModes));
        if (!first)
            return common;
        if (!common)
            return first;
        return std::min(*first, *common);
    }

    // Takes what runs in `runMode` and is due at `now` out of the heaps, in
    // firing order.
    void collectDue(std::string_view runMode, int64_t now, std::vector<TimerEntry>& due)
    {
        collectFrom(findHeap(runMode), now, due);
        if (runMode != RunLoop::CommonModes)
            collectFrom(findHeap(RunLoop::CommonModes), now, due);
        std::sort(due.begin(), due.end(), [](const TimerEntry& a, const TimerEntry& b) { return later(b, a); });
    }

    // Names each item due at `now` (the test pump's report).
    void describeDue(int64_t now, std::vector<std::string>& parts) const;

    // Everything the schedule held, taken out of it; released (in reverse
    // order of the members) when it goes, outside the schedule.
    struct Taken {
        std::map<std::string, Heap, std::less<>> heaps;
        std::vector<std::shared_ptr<std::function<void(Timer&)>>> timerCallbacks;
        std::vector<std::function<void()>> performs;
        std::vector<std::shared_ptr<const void>> targets;
        std::unordered_multimap<const void*, std::shared_ptr<Perform>> byTarget;
        bool empty() const { return heaps.empty() && byTarget.empty(); }
    };
    Taken takeAll();

private:
    Heap& heapFor(std::string_view name);
    Heap* findHeap(std::string_view name)
    {
        auto it = m_heaps.find(name);
        return it == m_heaps.end() ? nullptr : &it->second;
    }

    void push(Heap& heap, TimerEntry entry);
    static void sweep(Heap& heap);
    void leaveHeap(Heap& heap);
    template<typename Match> void cancelMatching(const void* target, Match match);

    static void dropTop(Heap& heap)
    {
        std::pop_heap(heap.entries.begin(), heap.entries.end(), later);
        heap.entries.pop_back();
    }

    std::optional<int64_t> nextDue(Heap* heap)
    {
        if (!heap)
            return std::nullopt;
        while (!heap->entries.empty() && !isCurrent(heap->entries.front()))
            dropTop(*heap);
        if (heap->entries.empty())
            return std::nullopt;
        return heap->entries.front().due;
    }

    static void collectFrom(Heap* heap, int64_t now, std::vector<TimerEntry>& due)
    {
        if (!heap)
            return;
        while (!heap->entries.empty() && heap->entries.front().due <= now) {
            std::pop_heap(heap->entries.begin(), heap->entries.end(), later);
            TimerEntry entry = std::move(heap->entries.back());
            heap->entries.pop_back();
            if (!isCurrent(entry))
                continue;
            --heap->live;
            if (entry.timer)
                entry.timer->m_inHeap = false;
            else
                entry.perform->inHeap = false;
            due.push_back(std::move(entry));
        }
    }

    std::map<std::string, Heap, std::less<>> m_heaps;
    uint64_t m_nextSequence = 0;
    std::unordered_multimap<const void*, std::shared_ptr<Perform>> m_performsByTarget;
};

} // namespace core
