#include "Report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fmt/format.h>
#include <fstream>
#include <mutex>
#include <vector>

namespace bench {

namespace {

enum class Check { AtMost, AtLeast, None };

struct Line {
    std::string name;
    double value = 0;
    double limit = 0;
    Check check = Check::None;
    std::string unit;
    std::string beside;

    bool met() const
    {
        switch (check) {
        case Check::AtMost:
            return value <= limit;
        case Check::AtLeast:
            return value >= limit;
        case Check::None:
            return true;
        }
        return true;
    }
};

struct Lines {
    std::mutex lock;
    std::vector<Line> lines;
    std::vector<std::string> wrong;
    std::vector<std::function<void()>> checks;
    std::map<std::string, std::pair<double, std::map<std::string, double>>> runs;
};

Lines& reported()
{
    static Lines lines;
    return lines;
}

void record(Line line)
{
    auto& all = reported();
    std::lock_guard guard(all.lock);
    for (auto& old : all.lines)
        if (old.name == line.name) {
            old = std::move(line);
            return;
        }
    all.lines.push_back(std::move(line));
}

// Three significant figures, without a trailing ".0".
std::string number(double value)
{
    if (std::isnan(value))
        return "not run";
    double magnitude = std::fabs(value);
    int decimals = magnitude >= 100 || magnitude == 0 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
    std::string text = fmt::format("{:.{}f}", value, decimals);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text;
}

std::string withUnit(double value, const std::string& unit)
{
    if (unit.empty() || std::isnan(value))
        return number(value);
    if (unit == "x" || unit == "%")
        return number(value) + unit;
    return number(value) + " " + unit;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    double one = 0, five = 0, fifteen = 0;
    file >> one >> five >> fifteen;
    return fmt::format("{:.1f} {:.1f} {:.1f}", one, five, fifteen);
}

} // namespace

bool quick()
{
    static const bool reduced = [] {
        const char* value = std::getenv("TANDRY_BENCH_QUICK");
        return value && *value && std::string(value) != "0";
    }();
    return reduced;
}

void atMost(const std::string& name, double value, double limit, const std::string& unit, const std::string& beside)
{
    record({ name, value, limit, Check::AtMost, unit, beside });
}

void atLeast(const std::string& name, double value, double limit, const std::string& unit, const std::string& beside)
{
    record({ name, value, limit, Check::AtLeast, unit, beside });
}

void figure(const std::string& name, double value, const std::string& unit, const std::string& beside)
{
    record({ name, value, 0, Check::None, unit, beside });
}

bool atEnd(std::function<void()> check)
{
    auto& all = reported();
    std::lock_guard guard(all.lock);
    all.checks.push_back(std::move(check));
    return true;
}

void recordRun(const std::string& name, double secondsPerIteration, const std::map<std::string, double>& counters)
{
    // "JsonRead/10/iterations:5/manual_time" is "JsonRead/10".
    std::string shortName;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = std::min(name.find('/', start), name.size());
        std::string part = name.substr(start, end - start);
        if (!part.starts_with("iterations:") && !part.starts_with("repeats:") && !part.starts_with("min_time:")
            && part != "manual_time" && part != "real_time" && part != "process_time")
            shortName += (shortName.empty() ? "" : "/") + part;
        start = end + 1;
    }
    auto& all = reported();
    std::lock_guard guard(all.lock);
    all.runs[shortName] = { secondsPerIteration, counters };
}

double runSeconds(const std::string& run)
{
    auto& all = reported();
    std::lock_guard guard(all.lock);
    auto found = all.runs.find(run);
    return found == all.runs.end() ? std::nan("") : found->second.first;
}

double runCounter(const std::string& run, const std::string& counter)
{
    auto& all = reported();
    std::lock_guard guard(all.lock);
    auto found = all.runs.find(run);
    if (found == all.runs.end())
        return std::nan("");
    auto value = found->second.second.find(counter);
    return value == found->second.second.end() ? std::nan("") : value->second;
}

void wrongAnswer(const std::string& what)
{
    auto& all = reported();
    std::lock_guard guard(all.lock);
    all.wrong.push_back(what);
}

int finish(const std::string& program)
{
    auto& all = reported();
    std::vector<std::function<void()>> checks;
    {
        std::lock_guard guard(all.lock);
        checks.swap(all.checks);
    }
    for (auto& check : checks)
        check();
    std::lock_guard guard(all.lock);
    std::string name = program.substr(program.rfind('/') + 1);
    size_t width = 0;
    for (auto& line : all.lines)
        width = std::max(width, line.name.size());

    std::printf("\n%s, load average %s%s:\n", name.c_str(), loadAverage().c_str(), quick() ? ", quick" : "");
    int targets = 0, missed = 0;
    std::string summary, misses;
    for (auto& line : all.lines) {
        std::string target;
        if (std::isnan(line.value))
            line.check = Check::None;
        if (line.check != Check::None) {
            ++targets;
            target = fmt::format("{} {}", line.check == Check::AtMost ? "≤" : "≥", withUnit(line.limit, line.unit));
            if (!line.met()) {
                ++missed;
                misses += fmt::format("{}{} {} ({})", misses.empty() ? "" : "; ", line.name,
                    withUnit(line.value, line.unit), target);
            }
        }
        std::printf("  %-*s %12s   %-14s %-6s %s\n", int(width), line.name.c_str(),
            withUnit(line.value, line.unit).c_str(), target.empty() ? "" : ("target " + target).c_str(),
            line.check == Check::None ? "" : line.met() ? "met" : "MISSED", line.beside.c_str());
        if (line.check != Check::None)
            summary += fmt::format("{}{} {}", summary.empty() ? "" : " · ", line.name, withUnit(line.value, line.unit));
    }
    for (auto& what : all.wrong)
        std::printf("  failed: %s\n", what.c_str());

    // The last line, which `make bench` collects.
    if (!all.wrong.empty())
        std::printf("RESULT %s: FAILED: %s\n", name.c_str(), all.wrong.front().c_str());
    else if (missed)
        std::printf("RESULT %s: MISSED %d of %d targets: %s\n", name.c_str(), missed, targets, misses.c_str());
    else if (targets)
        std::printf("RESULT %s: met %d of %d targets: %s\n", name.c_str(), targets, targets, summary.c_str());
    else
        std::printf("RESULT %s: figures only, no target\n", name.c_str());
    std::fflush(stdout);
    return !all.wrong.empty() || missed ? 1 : 0;
}

} // namespace bench
