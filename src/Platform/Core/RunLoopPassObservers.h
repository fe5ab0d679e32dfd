#pragma once

#include "Platform/Core/Observation.h"
#include "Platform/Core/RunLoop.h"

#include <memory>
#include <vector>

namespace core {

// The pass observers of one run loop (RunLoop::addPassObserver), kept in
// increasing order, equal orders as added. Each runs behind its
// observation's gate, over a copy of the list, so an observer may end its
// own or another's observation; an exception escaping one is logged. The
// loop owns it and asks it around every pass's wait.
class RunLoopPassObservers {
public:
    struct Entry {
        RunLoop::PassObserver observer;
        std::shared_ptr<ObserverGate> gate;
    };

    bool empty() const { return m_entries.empty(); }
    std::shared_ptr<Entry> add(RunLoop::PassObserver observer);
    void remove(const Entry& entry);
    // The wait the observers allow (each may only shorten it).
    double beforeWaiting(double wait);
    void afterWaiting();

private:
    std::vector<std::shared_ptr<Entry>> m_entries;
};

} // namespace core
