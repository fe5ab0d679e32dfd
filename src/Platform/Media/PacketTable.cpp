#include "Platform/Media/PacketTable.h"

#include <algorithm>

namespace media {

void PacketTable::reserve(size_t count)
{
    m_offsets.reserve(count);
    m_sizes.reserve(count);
    m_firstFrames.reserve(count);
}

void PacketTable::add(uint64_t offset, uint32_t size, uint32_t frames)
{
    if (m_sizes.empty())
        m_constantFrames = frames;
    else if (frames != m_constantFrames)
        m_constantFrames = 0;
    if (!m_offsets.empty() && offset < m_offsets.back())
        m_sorted = false;
    m_offsets.push_back(offset);
    m_sizes.push_back(size);
    m_firstFrames.push_back(m_totalFrames);
    m_totalFrames += frames;
    m_largest = std::max(m_largest, size);
}

uint64_t PacketTable::span() const
{
    if (empty())
        return 0;
    return m_offsets.back() + m_sizes.back() - m_offsets.front();
}

size_t PacketTable::indexAtOrAfter(uint64_t position) const
{
    if (position < m_base)
        return 0;
    const uint64_t relative = position - m_base;
    if (!m_sorted) {
        for (size_t i = 0; i < m_offsets.size(); i++) {
            if (m_offsets[i] >= relative)
                return i;
        }
        return m_offsets.size();
    }
    return size_t(std::lower_bound(m_offsets.begin(), m_offsets.end(), relative) - m_offsets.begin());
}

size_t PacketTable::indexHolding(uint64_t position) const
{
    if (position < m_base || empty())
        return count();
    const uint64_t relative = position - m_base;
    const auto after = std::upper_bound(m_offsets.begin(), m_offsets.end(), relative);
    if (after == m_offsets.begin())
        return count();
    return size_t(after - m_offsets.begin()) - 1;
}

size_t PacketTable::indexOfFrame(int64_t frame) const
{
    const auto after = std::upper_bound(m_firstFrames.begin(), m_firstFrames.end(), frame);
    if (after == m_firstFrames.begin())
        return 0;
    return size_t(after - m_firstFrames.begin()) - 1;
}

} // namespace media
