#include "Kit/VKHalfFloat.h"

#include <cstring>

uint16_t VKFloat32ToFloat16(uint32_t bits)
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

uint32_t VKFloat16ToFloat32(uint16_t half)
{
    uint32_t sign = static_cast<uint32_t>(half & 0x8000) << 16;
    uint32_t exponent = (half >> 10) & 0x1F;
    uint32_t fraction = half & 0x3FF;

    if (exponent == 31)
        return sign | 0x7F800000 | (fraction << 13);
    if (exponent == 0) {
        if (fraction == 0)
            return sign;
        // Subnormal: normalise the fraction, lowering the exponent as we go.
        int32_t e = 1;
        while (!(fraction & 0x400)) {
            fraction <<= 1;
            --e;
        }
        fraction &= 0x3FF;
        return sign | (static_cast<uint32_t>(e + 112) << 23) | (fraction << 13);
    }
    return sign | ((exponent + 112) << 23) | (fraction << 13);
}

uint16_t VKFloatToHalf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return VKFloat32ToFloat16(bits);
}

float VKHalfToFloat(uint16_t half)
{
    uint32_t bits = VKFloat16ToFloat32(half);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
