#pragma once

// How much memory the device has, for the image limits and the viewers'
// low-memory decisions.

#include <cstdint>
#include <optional>

// The physical memory in bytes (64-bit, so 4 GiB and more read as they are),
// read once per process; 0 when it cannot be had.
uint64_t systemTotalMemory();
// The memory available now, in bytes; all bits set when it cannot be had.
uint64_t systemFreeMemory();
// 128 MiB (134,217,728 bytes) of memory or less.
bool vkIsLowMemoryDevice();
bool vkIsLowMemoryDevice(uint64_t totalMemory);

// Tests: pretend the device has this much memory; nothing reads it again.
void vkSetSystemTotalMemoryForTesting(std::optional<uint64_t> bytes);
// Tests: pretend this much memory is free now (nothing: read it again).
void vkSetSystemFreeMemoryForTesting(std::optional<uint64_t> bytes);
