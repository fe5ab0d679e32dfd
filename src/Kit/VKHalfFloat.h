#pragma once

// Conversions between IEEE 754 single and half precision, on raw bits. The
// page text store keeps glyph positions as halves. Conversion to half
// truncates the fraction (it does not round), as the stored data expects.

#include <cstdint>

uint16_t VKFloat32ToFloat16(uint32_t bits);
uint32_t VKFloat16ToFloat32(uint16_t half);

// Conveniences on float values.
uint16_t VKFloatToHalf(float value);
float VKHalfToFloat(uint16_t half);
