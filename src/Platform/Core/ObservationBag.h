#pragma once

#include "Platform/Core/Observation.h"

#include <mutex>
#include <vector>

namespace core {

// Holds the observation tokens of one owner so that they end together: when
// the bag is cleared or destroyed (a controller's teardown).
class ObservationBag {
public:
    ObservationBag() = default;
    ObservationBag(const ObservationBag&) = delete;
    ObservationBag& operator=(const ObservationBag&) = delete;
    ~ObservationBag();

    void add(Observation observation);
    ObservationBag& operator+=(Observation observation)
    {
        add(std::move(observation));
        return *this;
    }
    // Ends every observation held (outside the bag's lock: ending one may
    // wait for its callback on another thread).
    void clear();
    size_t size() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Observation> m_observations;
};

} // namespace core
