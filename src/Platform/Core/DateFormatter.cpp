#include "Platform/Core/DateFormatter.h"

#include "Platform/Core/ICUTime.h"
#include "Platform/Core/Log.h"

#include <mutex>
#include <unicode/dtfmtsym.h>
#include <unicode/smpdtfmt.h>
#include <unicode/uchar.h>
#include <unicode/timezone.h>

namespace core {

namespace {

// Dates are short; anything longer is not one and is never handed to ICU.
constexpr size_t MaximumTextLength = 256;
constexpr size_t MaximumPatternLength = 256;

// ICU stops matching a pattern's closing literal when the text runs out, so
// "...08:49:37" would pass for "...08:49:37 'GMT'". Pattern and text both end
// in this noncharacter, which the literal must then match in full.
constexpr char16_t EndMark = 0xFDD0;

icu::UnicodeString unicode(std::string_view text)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

// ICU formats around letters that name no field ("yyyy-MM-ddTHH" gives
// "2011-01-05" without a word); such a pattern is a mistake to report.
bool hasUnknownField(const icu::UnicodeString& pattern)
{
    icu::UnicodeString fields(icu::DateFormatSymbols::getPatternUChars());
    bool quoted = false;
    for (int32_t i = 0; i < pattern.length(); ++i) {
        char16_t c = pattern[i];
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')) && fields.indexOf(c) < 0)
            return true;
    }
    return false;
}

// ICU scales a fraction of a second by a power of ten in 32 bits, which
// reaches zero (and divides by it) after 35 digits. No date has a run of
// digits anywhere near that long.
constexpr int MaximumDigitRun = 30;

bool hasLongDigitRun(const icu::UnicodeString& text)
{
    int run = 0;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        run = u_isdigit(text.char32At(i)) ? run + 1 : 0;
        if (run > MaximumDigitRun)
            return true;
    }
    return false;
}

bool startsWithWhiteSpace(const icu::UnicodeString& text)
{
    return text.length() > 0 && u_isUWhiteSpace(text.char32At(0));
}

struct DefaultLocale {
    std::mutex mutex;
    std::optional<std::string> locale;
};

DefaultLocale& defaultLocaleState()
{
    static DefaultLocale state;
    return state;
}

} // namespace

struct DateFormatter::Impl {
    Impl(std::string_view pattern, std::string_view locale, const TimeZone& zone)
        : pattern(pattern)
        , locale(locale)
        , zone(zone)
    {
        rebuild();
    }

    // The pattern as ICU takes it, end mark added; nothing (and a log line)
    // for a pattern that is no good. The caller holds the lock.
    std::optional<icu::UnicodeString> checkedPattern()
    {
        if (pattern.size() > MaximumPatternLength) {
            log("Invalid date format pattern (too long): {:.40}...", pattern);
            return std::nullopt;
        }
        icu::UnicodeString result = unicode(pattern);
        if (hasUnknownField(result)) {
            log("Invalid date format pattern \"{}\": a letter that names no field", pattern);
            return std::nullopt;
        }
        leadingWhiteSpace = startsWithWhiteSpace(result);
        result.append(EndMark);
        return result;
    }

    // Makes the ICU formatter anew from the settings; none for a pattern ICU
    // rejects. The caller holds the lock (or is the constructor).
    void rebuild()
    {
        formatter.reset();
        auto icuPattern = checkedPattern();
        if (!icuPattern)
            return;
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale icuLocale(locale.c_str());
        if (icuLocale.isBogus())
            icuLocale = icu::Locale::getRoot();
        auto made = std::make_unique<icu::SimpleDateFormat>(*icuPattern, icuLocale, status);
        if (U_FAILURE(status)) {
            log("Invalid date format pattern \"{}\": {}", pattern, u_errorName(status));
            return;
        }
        made->adoptTimeZone(icu::TimeZone::createTimeZone(unicode(zone.name())));
        made->setLenient(false);
        made->setBooleanAttribute(UDAT_PARSE_PARTIAL_LITERAL_MATCH, false, status);
        formatter = std::move(made);
    }

    // A new pattern for the formatter there is: far cheaper than making one,
    // for callers that change the pattern on every use.
    void repattern()
    {
        if (!formatter)
            return rebuild();
        if (auto icuPattern = checkedPattern())
            formatter->applyPattern(*icuPattern);
        else
            formatter.reset();
    }

    mutable std::mutex mutex;
    std::string pattern;
    std::string locale;
    TimeZone zone;
    std::unique_ptr<icu::SimpleDateFormat> formatter;
    bool leadingWhiteSpace = false;
};

DateFormatter::DateFormatter()
    : DateFormatter(std::string_view())
{
}

DateFormatter::DateFormatter(std::string_view pattern)
    : DateFormatter(pattern, defaultLocale(), TimeZone::defaultTimeZone())
{
}

DateFormatter::DateFormatter(std::string_view pattern, std::string_view locale, const TimeZone& zone)
    : m_impl(std::make_unique<Impl>(pattern, locale, zone))
{
}

DateFormatter DateFormatter::posix(std::string_view pattern, const TimeZone& zone)
{
    return DateFormatter(pattern, "en_US_POSIX", zone);
}

DateFormatter::DateFormatter(const DateFormatter& other)
{
    std::lock_guard lock(other.m_impl->mutex);
    m_impl = std::make_unique<Impl>(other.m_impl->pattern, other.m_impl->locale, other.m_impl->zone);
}

DateFormatter& DateFormatter::operator=(const DateFormatter& other)
{
    if (this != &other)
        *this = DateFormatter(other);
    return *this;
}

DateFormatter::DateFormatter(DateFormatter&&) noexcept = default;
DateFormatter& DateFormatter::operator=(DateFormatter&&) noexcept = default;
DateFormatter::~DateFormatter() = default;

std::string DateFormatter::defaultLocale()
{
    auto& state = defaultLocaleState();
    std::lock_guard lock(state.mutex);
    if (!state.locale)
        state.locale = icu::Locale::getDefault().getName();
    return *state.locale;
}

void DateFormatter::setDefaultLocale(std::string_view locale)
{
    auto& state = defaultLocaleState();
    std::lock_guard lock(state.mutex);
    state.locale = std::string(locale);
}

std::string DateFormatter::pattern() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->pattern;
}

void DateFormatter::setPattern(std::string_view pattern)
{
    std::lock_guard lock(m_impl->mutex);
    if (m_impl->pattern == pattern && m_impl->formatter)
        return;
    m_impl->pattern = pattern;
    m_impl->repattern();
}

std::string DateFormatter::locale() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->locale;
}

void DateFormatter::setLocale(std::string_view locale)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->locale = locale;
    m_impl->rebuild();
}

TimeZone DateFormatter::timeZone() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->zone;
}

void DateFormatter::setTimeZone(const TimeZone& zone)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->zone = zone;
    if (m_impl->formatter)
        m_impl->formatter->adoptTimeZone(icu::TimeZone::createTimeZone(unicode(zone.name())));
}

std::string DateFormatter::format(Date date) const
{
    auto millis = icutime::millis(date);
    if (!millis)
        return {};
    std::lock_guard lock(m_impl->mutex);
    if (!m_impl->formatter)
        return {};
    icu::UnicodeString text;
    m_impl->formatter->format(*millis, text);
    if (text.endsWith(icu::UnicodeString(EndMark)))
        text.truncate(text.length() - 1);
    std::string result;
    text.toUTF8String(result);
    return result;
}

std::optional<Date> DateFormatter::parse(std::string_view text) const
{
    if (text.empty() || text.size() > MaximumTextLength)
        return std::nullopt;
    icu::UnicodeString unicodeText = unicode(text);
    unicodeText.append(EndMark);
    std::lock_guard lock(m_impl->mutex);
    if (!m_impl->formatter || (startsWithWhiteSpace(unicodeText) && !m_impl->leadingWhiteSpace) || hasLongDigitRun(unicodeText))
        return std::nullopt;
    icu::ParsePosition position(0);
    UDate millis = m_impl->formatter->parse(unicodeText, position);
    if (position.getErrorIndex() >= 0 || position.getIndex() != unicodeText.length())
        return std::nullopt;
    return icutime::date(millis);
}

std::string DateFormatter::quote(std::string_view text)
{
    if (text.empty())
        return {}; // "''" would be a quote character
    std::string result = "'";
    for (char c : text) {
        result += c;
        if (c == '\'')
            result += '\'';
    }
    result += '\'';
    return result;
}

} // namespace core
