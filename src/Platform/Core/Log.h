#pragma once

#include "Platform/Core/Formatters.h"

#include <fmt/format.h>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// Writes one line of free text to the log: stderr, or the system log once the
// program asks for it. Each line goes out in a single write, so lines from
// several threads never mix.
void logLine(std::string_view line);

// log("text") writes the text as it stands ("%s" and "{}" included);
// log("format {}", args...) formats with {fmt} first.
inline void log(std::string_view line) { logLine(line); }
template<typename Arg, typename... Args>
void log(fmt::format_string<Arg, Args...> format, Arg&& arg, Args&&... args)
{
    logLine(fmt::format(format, std::forward<Arg>(arg), std::forward<Args>(args)...));
}

// Sends log lines to syslog (the program) instead of stderr.
void setLogToSystem(bool enabled);

// Collects the lines logged while it exists, on any thread. Lines are still
// written out unless `quiet`.
class LogCapture {
public:
    explicit LogCapture(bool quiet = false);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;
    void clear();

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace core
