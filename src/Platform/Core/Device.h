#pragma once

#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// Facts about the machine the program runs on, as the device reports them.
// Name, model and idiom can be configured through the settings "DeviceName",
// "DeviceModel" and "DeviceIdiom" ("phone" or "tablet"; also for one run as
// -DeviceName ...). Memory counts are 64-bit bytes from /proc/meminfo.
class Device : public Object {
public:
    enum class Idiom { Phone, Tablet };

    static std::shared_ptr<Device> current();
    // Drops the shared instance (tests); `meminfoPath` replaces /proc/meminfo.
    static void reset(std::string meminfoPath = "/proc/meminfo");

    // The configured name, else the host name.
    std::string name() const;
    std::string model() const;
    Idiom userInterfaceIdiom() const;
    std::string systemName() const { return "Linux"; }
    // The kernel's version numbers ("6.1.0" of "6.1.0-18-amd64").
    std::string systemVersion() const;
    // A UUID made once per home and kept in the settings.
    std::string uniqueIdentifier() const;
    bool isMultitaskingSupported() const { return true; }

    // "hw.machine" (the machine's architecture, as `uname -m`) and
    // "hw.model" (the hardware's product name where the system tells it);
    // nothing for other names.
    std::optional<std::string> systemInfo(std::string_view name) const;

    // Physical memory in bytes, read once; 0 when unknown.
    uint64_t physicalMemory() const;
    // Memory available to programs now (MemAvailable), in bytes; all bits
    // set when unknown.
    uint64_t freeMemory() const;
    // Hands the heap's free pages back to the system: for a long-running
    // program after a burst (the server once its last connection is gone),
    // since the allocator otherwise keeps its high-water mark.
    static void releaseFreeHeapMemory();
    // Fixes the allocator's limits for work that allocates blocks of
    // megabytes on worker threads (decoded photos, movie frames): blocks up
    // to 32 MiB stay on the heaps, and a heap's free top beyond a mebibyte
    // goes back as it is freed. Left to adapt, the limits rise with the
    // largest block freed and each thread's heap keeps that much for good.
    // Process-wide and set once; later calls do nothing.
    static void limitRetainedHeap();

    // "multitaskingSupported", "name", "model", "systemName",
    // "systemVersion", "uniqueIdentifier".
    Value valueForKey(std::string_view key) const override;

private:
    explicit Device(std::string meminfoPath);
    std::optional<uint64_t> meminfoField(std::string_view field) const;

    std::string m_meminfoPath;
    mutable std::mutex m_mutex;
    mutable std::optional<uint64_t> m_physicalMemory;
};

} // namespace core
