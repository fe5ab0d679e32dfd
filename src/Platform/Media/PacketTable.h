#pragma once

#include "Platform/Media/AudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

// Where each packet of a container with an index lies (MP4 sample tables,
// CAF packet tables): offsets from a base that is set once the audio's start
// is known, sizes, and the frames before each packet for the translations.
class PacketTable {
public:
    // A table of this many packets costs this many bytes.
    static constexpr size_t BytesPerPacket = sizeof(uint64_t) + sizeof(uint32_t) + sizeof(int64_t);

    void reserve(size_t count);
    void add(uint64_t offset, uint32_t size, uint32_t frames);
    void setBase(uint64_t base) { m_base = base; }

    size_t count() const { return m_sizes.size(); }
    bool empty() const { return m_sizes.empty(); }
    // Absolute file offset of packet i.
    uint64_t offset(size_t i) const { return m_base + m_offsets[i]; }
    uint32_t size(size_t i) const { return m_sizes[i]; }
    uint32_t frames(size_t i) const { return uint32_t(firstFrame(i + 1) - firstFrame(i)); }
    int64_t firstFrame(size_t i) const { return i < m_firstFrames.size() ? m_firstFrames[i] : m_totalFrames; }
    int64_t totalFrames() const { return m_totalFrames; }
    uint32_t largest() const { return m_largest; }
    // Bytes from the first packet's start to the last one's end.
    uint64_t span() const;
    // Whether every packet has the same number of frames (that number), else 0.
    uint32_t constantFrames() const { return m_constantFrames; }

    // The first packet that starts at or after the absolute offset.
    size_t indexAtOrAfter(uint64_t position) const;
    // The packet holding the absolute offset (the last that starts at or
    // before it), count() when before the first.
    size_t indexHolding(uint64_t position) const;
    // The packet holding the frame.
    size_t indexOfFrame(int64_t frame) const;

private:
    uint64_t m_base = 0;
    std::vector<uint64_t> m_offsets;
    std::vector<uint32_t> m_sizes;
    std::vector<int64_t> m_firstFrames;
    int64_t m_totalFrames = 0;
    uint32_t m_largest = 0;
    uint32_t m_constantFrames = 0;
    bool m_sorted = true;
};

} // namespace media
