#include "App/Shell/DeviceMemoryAdditions.h"

#include "Platform/Core/Device.h"

#include <atomic>
#include <mutex>

namespace {

std::once_flag readOnce;
std::atomic<uint64_t> totalMemory { 0 };

} // namespace

uint64_t systemTotalMemory()
{
    std::call_once(readOnce, [] { totalMemory = core::Device::current()->physicalMemory(); });
    return totalMemory;
}

uint64_t systemFreeMemory()
{
    return core::Device::current()->freeMemory();
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
