#include "Kit/VKHalfFloat.h"

#include <cstring>

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

float VKHalfToFloat(uint16_t half)
{
    uint32_t bits = VKFloat16ToFloat32(half);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
