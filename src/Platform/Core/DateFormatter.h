#pragma once

#include "Platform/Core/Date.h"
#include "Platform/Core/TimeZone.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// Formats dates as text and reads them back, after an ICU date pattern
// ("d-MMM-yyyy HH:mm", "EEE, dd MMM yyyy HH:mm:ss 'GMT'"), in a locale and a
// time zone. The calendar year is "yyyy"; "YYYY" is the year of the week,
// which differs around New Year.
//
// Reading is strict: the whole text must match the whole pattern, closing
// literal included, with nothing before or after it; two digits where the
// pattern has two ("dd" does not read "6"); names, not numbers, for months
// and weekdays; no out-of-range fields (31 February). Name fields read the
// full and the short form ("MMMM" reads "Nov" and "November"); a weekday name
// is read but not checked against the date.
//
// A formatter may be shared between threads: its methods take its own lock.
// Machine formats (HTTP, ISO 8601, file listings) should use posix(), whose
// locale never changes with the user's.
class DateFormatter {
public:
    // Pattern "" (formats as ""), the default locale and the default zone.
    DateFormatter();
    explicit DateFormatter(std::string_view pattern);
    DateFormatter(std::string_view pattern, std::string_view locale, const TimeZone& zone);
    // The fixed "en_US_POSIX" locale, for texts that programs read.
    static DateFormatter posix(std::string_view pattern, const TimeZone& zone = TimeZone::utc());

    DateFormatter(const DateFormatter& other);
    DateFormatter& operator=(const DateFormatter& other);
    DateFormatter(DateFormatter&&) noexcept;
    DateFormatter& operator=(DateFormatter&&) noexcept;
    ~DateFormatter();

    // The locale new formatters take when none is given: the user's, set by
    // the program at start; at first the one the environment names.
    static std::string defaultLocale();
    static void setDefaultLocale(std::string_view locale);

    // The pattern; an invalid one (an unbalanced quote, an unquoted letter
    // that is no field) is logged, and formats and reads nothing.
    std::string pattern() const;
    void setPattern(std::string_view pattern);
    std::string locale() const;
    void setLocale(std::string_view locale);
    TimeZone timeZone() const;
    void setTimeZone(const TimeZone& zone);

    // "" for a date that is not a number.
    std::string format(Date date) const;
    // Nothing unless the whole text matches the pattern.
    std::optional<Date> parse(std::string_view text) const;

    // A literal for a pattern: the text in single quotes, its own quotes
    // doubled ("Today" → "'Today'", "o'clock" → "'o''clock'").
    static std::string quote(std::string_view text);

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace core
