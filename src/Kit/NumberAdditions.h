#pragma once

// Fixed-width readings of numbers and the short size text of the file lists.
//
// A reading takes the value as a 64-bit integer (booleans and strings as
// core::Value reads them leniently; reals truncated toward zero, NaN as 0,
// out-of-range reals saturated) and keeps the low bits of the width, as a
// C cast would: 300 reads as 44 in 8 unsigned bits, −1 as 65535 in 16.
// The 32-bit forms are the device's long: vkSInt32Value(2^31) is −2^31.

#include "Platform/Core/Value.h"

#include <cstdint>
#include <string>

int8_t vkSInt8Value(const core::Value& number);
uint8_t vkUInt8Value(const core::Value& number);
int16_t vkSInt16Value(const core::Value& number);
uint16_t vkUInt16Value(const core::Value& number);
int32_t vkSInt32Value(const core::Value& number);
uint32_t vkUInt32Value(const core::Value& number);
int64_t vkSInt64Value(const core::Value& number);
// Reals from 2^63 up saturate at 2^64 − 1 rather than at 2^63 − 1.
uint64_t vkUInt64Value(const core::Value& number);

core::Value vkNumberWithSInt8(int8_t value);
core::Value vkNumberWithUInt8(uint8_t value);
core::Value vkNumberWithSInt16(int16_t value);
core::Value vkNumberWithUInt16(uint16_t value);
core::Value vkNumberWithSInt32(int32_t value);
core::Value vkNumberWithUInt32(uint32_t value);
core::Value vkNumberWithSInt64(int64_t value);
// Kept in the integer's 64 bits: vkUInt64Value reads it back exactly, other
// readings see values from 2^63 up as negative.
core::Value vkNumberWithUInt64(uint64_t value);

// The byte count as "512 B", "1.5 KB", "3.0 MB" or "1.2 GB" (one decimal
// from KB up, units not localized); negative counts read "0 KB", NaN "0 B".
// The count is taken in single precision first, so 1073741823 reads as GB.
std::string vkFileSize(const core::Value& number);
