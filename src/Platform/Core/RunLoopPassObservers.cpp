#include "Platform/Core/RunLoopPassObservers.h"

#include "Platform/Core/ExceptionReporter.h"

#include <algorithm>

namespace core {

std::shared_ptr<RunLoopPassObservers::Entry> RunLoopPassObservers::add(RunLoop::PassObserver observer)
{
    auto entry = std::make_shared<Entry>();
    entry->observer = std::move(observer);
    entry->gate = std::make_shared<ObserverGate>();
    auto place = std::upper_bound(m_entries.begin(), m_entries.end(), entry->observer.order,
        [](int order, const auto& other) { return order < other->observer.order; });
    m_entries.insert(place, entry);
    return entry;
}

void RunLoopPassObservers::remove(const Entry& entry)
{
    std::erase_if(m_entries, [&](const auto& held) { return held.get() == &entry; });
}

double RunLoopPassObservers::beforeWaiting(double wait)
{
    for (auto& entry : std::vector(m_entries)) {
        if (!entry->observer.beforeWaiting)
            continue;
        entry->gate->run([&] {
            ExceptionReporter::guard("a run loop pass observer", [&] {
                double allowed = entry->observer.beforeWaiting(wait);
                if (allowed >= 0 && allowed < wait)
                    wait = allowed;
                else if (!(allowed >= 0))
                    wait = 0;
            });
        });
    }
    return wait;
}

void RunLoopPassObservers::afterWaiting()
{
    for (auto& entry : std::vector(m_entries)) {
        if (entry->observer.afterWaiting)
            entry->gate->run([&] { ExceptionReporter::guard("a run loop pass observer", entry->observer.afterWaiting); });
    }
}

} // namespace core
