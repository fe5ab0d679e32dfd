#include "CloudOperations/VKCloudByteCounts.h"

#include <limits>

const uint64_t* VKCloudByteCounts::find(const std::string& path) const
{
    auto found = m_bytes.find(path);
    return found == m_bytes.end() ? nullptr : &found->second;
}

void VKCloudByteCounts::set(const std::string& path, uint64_t bytes)
{
    auto [found, added] = m_bytes.try_emplace(path, bytes);
    if (!added) {
        m_total -= found->second;
        found->second = bytes;
    }
    m_total += bytes;
}

void VKCloudByteCounts::erase(const std::string& path)
{
    auto found = m_bytes.find(path);
    if (found == m_bytes.end())
        return;
    m_total -= found->second;
    m_bytes.erase(found);
}

void VKCloudByteCounts::clear()
{
    m_bytes.clear();
    m_total = 0;
}

uint64_t VKCloudByteCounts::total() const
{
    constexpr uint64_t most = std::numeric_limits<uint64_t>::max();
    return m_total > most ? most : static_cast<uint64_t>(m_total);
}
