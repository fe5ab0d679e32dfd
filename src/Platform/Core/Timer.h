#pragma once

#include "Platform/Core/Date.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace core {

class RunLoop;

// A timer of a run loop (RunLoop::schedule). A repeating timer that fell
// behind fires once and keeps its phase: its next time is the next multiple
// of the interval after the first, not "now + interval". Invalidate it on the
// loop's thread; invalidating releases the callback (and what it holds).
class Timer : public std::enable_shared_from_this<Timer> {
public:
    struct Private;
    Timer(const Private&, std::weak_ptr<RunLoop> loop, double interval, bool repeats, std::string mode,
        std::function<void(Timer&)> fire);

    void invalidate();
    bool isValid() const { return m_valid.load(); }
    double timeInterval() const { return m_interval; }
    bool repeats() const { return m_repeats; }

private:
    friend class RunLoop;
    friend class RunLoopSchedule;
    std::weak_ptr<RunLoop> m_loop;
    double m_interval;
    int64_t m_intervalNanoseconds;
    bool m_repeats;
    std::string m_mode;
    std::shared_ptr<std::function<void(Timer&)>> m_fire;
    std::atomic<bool> m_valid { true };
    std::atomic<int64_t> m_due { 0 };
    uint64_t m_generation = 0;
    bool m_inHeap = false;
};

} // namespace core
