#pragma once

#include <compare>
#include <string>

namespace core {

// A point in time: seconds since 2001-01-01 00:00:00 UTC, the reference date
// the system's stored data uses.
class Date {
public:
    static constexpr double UnixEpochOffset = 978307200.0; // 1970 → 2001

    constexpr Date() = default;
    constexpr explicit Date(double secondsSinceReferenceDate) : m_seconds(secondsSinceReferenceDate) { }

    // The current time of the process clock (the real one in the program, a
    // manual one in tests).
    static Date now();
    static constexpr Date fromUnixTime(double seconds) { return Date(seconds - UnixEpochOffset); }
    static constexpr Date distantPast() { return Date(-63114076800.0); }
    static constexpr Date distantFuture() { return Date(63113904000.0); }

    constexpr double timeIntervalSinceReferenceDate() const { return m_seconds; }
    constexpr double timeIntervalSince1970() const { return m_seconds + UnixEpochOffset; }
    constexpr double timeIntervalSince(Date other) const { return m_seconds - other.m_seconds; }
    double timeIntervalSinceNow() const { return m_seconds - now().m_seconds; }
    constexpr Date addingTimeInterval(double seconds) const { return Date(m_seconds + seconds); }

    constexpr auto operator<=>(const Date&) const = default;

    // "2011-01-05 08:30:00 +0000", as the device prints dates.
    std::string description() const;

    // Where now() reads the time; the run loop's clock installs itself here.
    using NowFunction = Date (*)();
    static void setNowFunction(NowFunction function);

private:
    double m_seconds = 0;
};

} // namespace core
