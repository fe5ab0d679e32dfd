#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// The little-endian fields of zip records.
namespace zipbytes {

inline uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t le32(const unsigned char* p)
{
    return static_cast<uint32_t>(le16(p)) | (static_cast<uint32_t>(le16(p + 2)) << 16);
}
inline uint64_t le64(const unsigned char* p)
{
    return static_cast<uint64_t>(le32(p)) | (static_cast<uint64_t>(le32(p + 4)) << 32);
}
inline void putLE(unsigned char* at, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        at[i] = static_cast<unsigned char>(value >> (8 * i));
}

// The times an extra field gives, in nanoseconds since 1970.
struct ExtraTimes {
    std::optional<int64_t> modified;
    std::optional<int64_t> accessed;
};

// A Windows file time (100 ns steps since 1601) in nanoseconds since 1970;
// nothing for an unset or unrepresentable one.
inline std::optional<int64_t> fromFileTime(uint64_t fileTime)
{
    constexpr int64_t Epoch1970 = 116444736000000000;
    if (fileTime == 0 || fileTime > uint64_t(INT64_MAX))
        return std::nullopt;
    const int64_t steps = static_cast<int64_t>(fileTime) - Epoch1970;
    if (steps > INT64_MAX / 100 || steps < INT64_MIN / 100)
        return std::nullopt;
    return steps * 100;
}

// A block of an extra field: its data and their size.
struct ExtraBlock {
    const unsigned char* data;
    size_t size;
};

// The first block of the kind in an extra field, looked for as far as the
// blocks are whole; nothing when there is none.
inline std::optional<ExtraBlock> extraBlock(const unsigned char* extra, size_t length, uint16_t id)
{
    for (size_t at = 0; at + 4 <= length;) {
        const size_t size = le16(extra + at + 2);
        if (at + 4 + size > length)
            break;
        if (le16(extra + at) == id)
            return ExtraBlock { extra + at + 4, size };
        at += 4 + size;
    }
    return std::nullopt;
}

// The times of an entry's extra field: the extended timestamp's (0x5455),
// else the NTFS block's (0x000a). The timestamp holds signed 32-bit seconds;
// one with its sign bit set in an entry dated 2038 or later ran past 2038.
inline ExtraTimes extraTimes(const unsigned char* extra, size_t length, uint32_t dosDate)
{
    ExtraTimes timestamp, ntfs;
    if (auto block = extraBlock(extra, length, 0x5455); block && block->size >= 1) {
        const unsigned char* field = block->data;
        size_t offset = 1;
        auto next = [&]() -> std::optional<int64_t> {
            if (offset + 4 > block->size)
                return std::nullopt;
            int64_t seconds = static_cast<int32_t>(le32(field + offset));
            offset += 4;
            if (seconds < 0 && (dosDate >> 25) + 1980 >= 2038)
                seconds += int64_t(1) << 32;
            return seconds * 1000000000;
        };
        if (field[0] & 1)
            timestamp.modified = next();
        if (field[0] & 2)
            timestamp.accessed = next();
        if (timestamp.modified)
            return timestamp;
    }
    // The NTFS block's attribute 1 holds the three times.
    if (auto block = extraBlock(extra, length, 0x000a)) {
        const unsigned char* field = block->data;
        for (size_t inner = 4; inner + 4 <= block->size;) {
            const size_t tagSize = le16(field + inner + 2);
            if (inner + 4 + tagSize > block->size)
                break;
            if (le16(field + inner) == 1 && tagSize >= 24) {
                ntfs.modified = fromFileTime(le64(field + inner + 4));
                ntfs.accessed = fromFileTime(le64(field + inner + 12));
            }
            inner += 4 + tagSize;
        }
    }
    return ntfs;
}

} // namespace zipbytes
