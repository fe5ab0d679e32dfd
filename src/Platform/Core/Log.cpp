#include "Platform/Core/Log.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

namespace core {

struct LogCapture::State {
    mutable std::mutex mutex;
    std::vector<std::string> lines;
    bool quiet = false;
};

namespace {

std::atomic<bool> toSystem { false };
std::mutex capturesMutex;
// The captures alive now: each leaves under the lock before its state goes.
std::vector<LogCapture::State*> captures;

} // namespace

void logLine(std::string_view line)
{
    bool quiet = false;
    {
        std::lock_guard lock(capturesMutex);
        for (auto& capture : captures) {
            std::lock_guard captureLock(capture->mutex);
            capture->lines.emplace_back(line);
            quiet = quiet || capture->quiet;
        }
    }
    if (quiet)
        return;
    if (toSystem) {
        syslog(LOG_NOTICE, "%.*s", static_cast<int>(line.size()), line.data());
        return;
    }
    iovec parts[2] = { { const_cast<char*>(line.data()), line.size() }, { const_cast<char*>("\n"), 1 } };
    ssize_t written = writev(STDERR_FILENO, parts, 2);
    (void)written;
}

void setLogToSystem(bool enabled)
{
    if (enabled && !toSystem)
        openlog("tandry", LOG_PID, LOG_USER);
    toSystem = enabled;
}

LogCapture::LogCapture(bool quiet)
    : m_state(std::make_unique<State>())
{
    m_state->quiet = quiet;
    std::lock_guard lock(capturesMutex);
    captures.push_back(m_state.get());
}

LogCapture::~LogCapture()
{
    std::lock_guard lock(capturesMutex);
    std::erase(captures, m_state.get());
}

std::vector<std::string> LogCapture::lines() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->lines;
}

bool LogCapture::contains(std::string_view text) const
{
    std::lock_guard lock(m_state->mutex);
    return std::any_of(m_state->lines.begin(), m_state->lines.end(),
        [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

void LogCapture::clear()
{
    std::lock_guard lock(m_state->mutex);
    m_state->lines.clear();
}

} // namespace core
