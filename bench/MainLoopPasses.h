#pragma once

// The main loop's passes timed while a benchmark runs: each pass from the
// end of its wait to the start of the next wait, in real time and in the
// main thread's own CPU time. The two tell work done on the main thread
// from time the thread spent waiting for a CPU on a loaded machine.

#include "Platform/Core/Observation.h"
#include "Platform/Core/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <utility>

namespace bench {

class MainLoopPasses {
public:
    MainLoopPasses()
    {
        m_observation = core::RunLoop::main().addPassObserver({
            [this](double wait) {
                ended();
                return wait;
            },
            [this] {
                m_inPass = true;
                m_began = std::chrono::steady_clock::now();
                m_beganCPU = threadCPU();
            },
        });
    }
    // Closes a pass cut short by the caller (runOnce returning after work).
    void ended()
    {
        if (!std::exchange(m_inPass, false))
            return;
        double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_began).count();
        double cpu = threadCPU() - m_beganCPU;
        m_longest = std::max(m_longest, wall);
        m_longestCPU = std::max(m_longestCPU, cpu);
        if (wall > 16)
            ++m_over16;
        if (cpu > 16)
            ++m_over16CPU;
        ++m_passes;
    }
    double longestMs() const { return m_longest; }
    double longestCpuMs() const { return m_longestCPU; }
    int passesOver16Ms() const { return m_over16; }
    int passesOver16MsCpu() const { return m_over16CPU; }
    int passes() const { return m_passes; }

private:
    static double threadCPU()
    {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6;
    }

    core::Observation m_observation;
    bool m_inPass = false;
    std::chrono::steady_clock::time_point m_began;
    double m_beganCPU = 0;
    double m_longest = 0, m_longestCPU = 0;
    int m_over16 = 0, m_over16CPU = 0, m_passes = 0;
};

} // namespace bench
