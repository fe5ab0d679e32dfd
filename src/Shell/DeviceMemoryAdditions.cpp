#include "Shell/DeviceMemoryAdditions.h"

#include "Platform/Core/Device.h"

#include <atomic>
#include <mutex>

namespace {

std::once_flag readOnce;
std::atomic<uint64_t> totalMemory { 0 };
std::atomic<bool> freeMemoryOverridden { false };
std::atomic<uint64_t> freeMemoryOverride { 0 };

} // namespace

uint64_t systemTotalMemory()
{
    std::call_once(readOnce, [] { totalMemory = core::Device::current()->physicalMemory(); });
    return totalMemory;
}

uint64_t systemFreeMemory()
{
    if (freeMemoryOverridden)
        return freeMemoryOverride;
    return core::Device::current()->freeMemory();
}

void vkSetSystemFreeMemoryForTesting(std::optional<uint64_t> bytes)
{
    freeMemoryOverride = bytes.value_or(0);
    freeMemoryOverridden = bytes.has_value();
}

bool vkIsLowMemoryDevice()
{
    return vkIsLowMemoryDevice(systemTotalMemory());
}

bool vkIsLowMemoryDevice(uint64_t bytes)
{
    return bytes < 134217729;
}

void vkSetSystemTotalMemoryForTesting(std::optional<uint64_t> bytes)
{
    systemTotalMemory(); // the real reading never comes later and overwrites
    totalMemory = bytes ? *bytes : core::Device::current()->physicalMemory();
}
