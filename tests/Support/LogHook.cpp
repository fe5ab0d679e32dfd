#include "Support/LogHook.h"

#include "Platform/Core/Log.h"

#include <memory>
#include <mutex>

namespace test {

namespace {
std::mutex mutex;
std::unique_ptr<core::LogCapture> capture;
} // namespace

void LogHook::begin()
{
    std::lock_guard lock(mutex);
    capture = std::make_unique<core::LogCapture>();
}

void LogHook::end()
{
    std::lock_guard lock(mutex);
    capture.reset();
}

std::vector<std::string> LogHook::lines()
{
    std::lock_guard lock(mutex);
    return capture ? capture->lines() : std::vector<std::string>();
}

} // namespace test
