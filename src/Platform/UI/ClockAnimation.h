#pragma once

// A change spread over time on the main loop's clock: `step` runs 60 times a
// second with the fraction of the duration passed (the last call at exactly
// 1), then `done`. Scrolling, paging, zooming and transitions use it, so
// that tests move them with the manual clock. The owner keeps the handle;
// dropping it or calling cancel() stops the steps without `done`.

#include <functional>
#include <memory>

namespace ui {

class ClockAnimation : public std::enable_shared_from_this<ClockAnimation> {
public:
    static constexpr double StepsPerSecond = 60;

    static std::shared_ptr<ClockAnimation> start(double duration, std::function<void(double fraction)> step,
        std::function<void()> done = {});
    void cancel() { m_running = false; }
    bool isRunning() const { return m_running; }
    // Runs the remaining steps at once: the last step, then `done`.
    void finish();

private:
    void scheduleNext();
    void fire();

    double m_begin = 0;
    double m_duration = 0;
    int m_stepsDone = 0;
    bool m_running = true;
    std::function<void(double)> m_step;
    std::function<void()> m_done;
};

} // namespace ui
