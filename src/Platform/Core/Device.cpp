#include "Platform/Core/Device.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/Core/UUID.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <malloc.h>
#include <mutex>
#include <sys/utsname.h>
#include <unistd.h>

namespace core {

namespace {

std::mutex currentMutex;
std::shared_ptr<Device> currentDevice;
std::string currentMeminfoPath = "/proc/meminfo";

constexpr const char* UniqueIdentifierKey = "DeviceUniqueIdentifier";

std::string trimmedDeviceText(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    auto blank = [](char c) { return c == '\0' || std::isspace(static_cast<unsigned char>(c)); };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// Reads a small system file through: files under /proc and /sys report a
// size of 0, so they cannot be mapped.
std::optional<std::string> readSystemFile(const std::string& path, size_t limit = size_t(1) << 20)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
        ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
    }
    close(fd);
    return text;
}

std::string firstLineOf(const std::string& path)
{
    std::string text = readSystemFile(path, 256).value_or("");
    return trimmedDeviceText(std::string_view(text).substr(0, text.find('\n')));
}

} // namespace

Device::Device(std::string meminfoPath)
    : m_meminfoPath(std::move(meminfoPath))
{
}

std::shared_ptr<Device> Device::current()
{
    std::lock_guard lock(currentMutex);
    if (!currentDevice)
        currentDevice = std::shared_ptr<Device>(new Device(currentMeminfoPath));
    return currentDevice;
}

void Device::reset(std::string meminfoPath)
{
    std::lock_guard lock(currentMutex);
    currentDevice = nullptr;
    currentMeminfoPath = std::move(meminfoPath);
}

std::string Device::name() const
{
    std::string configured = UserDefaults::standard()->stringForKey("DeviceName");
    if (!configured.empty())
        return configured;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0 || !host[0])
        return "localhost";
    return host;
}

std::string Device::model() const
{
    std::string configured = UserDefaults::standard()->stringForKey("DeviceModel");
    if (!configured.empty())
        return configured;
    return userInterfaceIdiom() == Idiom::Tablet ? "Tablet" : "Phone";
}

Device::Idiom Device::userInterfaceIdiom() const
{
    std::string idiom = UserDefaults::standard()->stringForKey("DeviceIdiom");
    for (char& c : idiom)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return idiom == "tablet" ? Idiom::Tablet : Idiom::Phone;
}

std::string Device::systemVersion() const
{
    struct utsname names;
    if (uname(&names) != 0)
        return {};
    std::string_view release(names.release);
    size_t end = 0;
    while (end < release.size() && (std::isdigit(static_cast<unsigned char>(release[end])) || release[end] == '.'))
        ++end;
    while (end > 0 && release[end - 1] == '.')
        --end;
    return std::string(release.substr(0, end));
}

std::string Device::uniqueIdentifier() const
{
    std::lock_guard lock(m_mutex);
    auto defaults = UserDefaults::standard();
    std::string identifier = defaults->stringForKey(UniqueIdentifierKey);
    if (identifier.empty()) {
        identifier = uuidString();
        defaults->set(UniqueIdentifierKey, identifier);
        defaults->synchronize();
    }
    return identifier;
}

std::optional<std::string> Device::systemInfo(std::string_view name) const
{
    struct utsname names;
    if (uname(&names) != 0)
        return std::nullopt;
    if (name == "hw.machine")
        return std::string(names.machine);
    if (name == "hw.model") {
        for (const char* source : { "/sys/devices/virtual/dmi/id/product_name", "/proc/device-tree/model" }) {
            if (auto model = firstLineOf(source); !model.empty())
                return model;
        }
        return std::string(names.machine);
    }
    return std::nullopt;
}

std::optional<uint64_t> Device::meminfoField(std::string_view field) const
{
    auto contents = readSystemFile(m_meminfoPath);
    if (!contents)
        return std::nullopt;
    std::string_view text = *contents;
    while (!text.empty()) {
        auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (!line.starts_with(field) || line.size() <= field.size() || line[field.size()] != ':')
            continue;
        uint64_t number = 0;
        bool digits = false;
        size_t i = field.size() + 1;
        while (i < line.size() && line[i] == ' ')
            ++i;
        for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
            digits = true;
            unsigned digit = static_cast<unsigned>(line[i] - '0');
            if (number > (std::numeric_limits<uint64_t>::max() - digit) / 10)
                return std::nullopt;
            number = number * 10 + digit;
        }
        if (!digits)
            return std::nullopt;
        // Counts are in kB (KiB) unless no unit is given.
        if (line.substr(i).find("kB") != std::string_view::npos) {
            if (number > std::numeric_limits<uint64_t>::max() / 1024)
                return std::nullopt;
            number *= 1024;
        }
        return number;
    }
    return std::nullopt;
}

uint64_t Device::physicalMemory() const
{
    std::lock_guard lock(m_mutex);
    if (!m_physicalMemory)
        m_physicalMemory = meminfoField("MemTotal").value_or(0);
    return *m_physicalMemory;
}

uint64_t Device::freeMemory() const
{
    return meminfoField("MemAvailable").value_or(std::numeric_limits<uint64_t>::max());
}

void Device::releaseFreeHeapMemory()
{
    malloc_trim(0);
}

void Device::limitRetainedHeap()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
    });
}

Value Device::valueForKey(std::string_view key) const
{
    if (key == "multitaskingSupported")
        return isMultitaskingSupported();
    if (key == "name")
        return name();
    if (key == "model")
        return model();
    if (key == "systemName")
        return systemName();
    if (key == "systemVersion")
        return systemVersion();
    if (key == "uniqueIdentifier")
        return uniqueIdentifier();
    if (key == "userInterfaceIdiom")
        return static_cast<int>(userInterfaceIdiom());
    return Object::valueForKey(key);
}

} // namespace core
