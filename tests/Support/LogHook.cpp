#include "Support/LogHook.h"

#include <mutex>

namespace test {

namespace {
std::mutex mutex;
std::vector<std::string> captured;
bool capturing = false;
} // namespace

void LogHook::begin()
{
    std::lock_guard lock(mutex);
    captured.clear();
    capturing = true;
}

void LogHook::end()
{
    std::lock_guard lock(mutex);
    capturing = false;
}

void LogHook::append(std::string line)
{
    std::lock_guard lock(mutex);
    if (capturing)
        captured.push_back(std::move(line));
}

std::vector<std::string> LogHook::lines()
{
    std::lock_guard lock(mutex);
    return captured;
}

} // namespace test
