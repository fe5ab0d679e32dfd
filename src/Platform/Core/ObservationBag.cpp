#include "Platform/Core/ObservationBag.h"

namespace core {

ObservationBag::~ObservationBag()
{
    clear();
}

void ObservationBag::add(Observation observation)
{
    if (!observation.isActive())
        return;
    std::lock_guard lock(m_mutex);
    m_observations.push_back(std::move(observation));
}

void ObservationBag::clear()
{
    std::vector<Observation> ending;
    {
        std::lock_guard lock(m_mutex);
        ending.swap(m_observations);
    }
}

size_t ObservationBag::size() const
{
    std::lock_guard lock(m_mutex);
    return m_observations.size();
}

} // namespace core
