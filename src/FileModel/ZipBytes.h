#pragma once

#include <cstddef>
#include <cstdint>

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

} // namespace zipbytes
