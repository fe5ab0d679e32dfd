#pragma once

// Conversions between IEEE 754 single and half precision, on raw bits. The
// page text store keeps glyph positions as halves. Conversion to half
// truncates the fraction (it does not round), as the stored data expects.

#include <cstdint>
#include <cstring>

// Inline: a page's rectangles are thousands of conversions.
inline uint16_t VKFloat32ToFloat16(uint32_t bits)
{
    uint32_t sign = (bits >> 16) & 0x8000;
    int32_t exponentField = static_cast<int32_t>((bits >> 23) & 0xFF);
    uint32_t fraction = bits & 0x7FFFFF;
    int32_t e = exponentField - 112;

    if (e >= 1 && e < 31)
        return static_cast<uint16_t>((static_cast<uint32_t>(e) << 10) | sign | (fraction >> 13));
    if (exponentField == 255 && fraction != 0) {
        uint32_t shifted = fraction >> 13;
        // A NaN whose payload sits below the half's fraction must stay a NaN.
        if (shifted == 0)
            shifted = 1;
        return static_cast<uint16_t>(sign | 0x7C00 | shifted);
    }
    if (e >= 31)
        return static_cast<uint16_t>(sign | 0x7C00);
    if (e >= -10)
        return static_cast<uint16_t>(sign | (((fraction | 0x800000) >> (113 - exponentField)) >> 13));
    return 0;
}

uint32_t VKFloat16ToFloat32(uint16_t half);

// Conveniences on float values.
inline uint16_t VKFloatToHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return VKFloat32ToFloat16(bits);
}

float VKHalfToFloat(uint16_t half);
