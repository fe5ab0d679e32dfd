#include "Kit/CSRegex.h"

#include "Platform/Core/Exception.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstring>
#include <fmt/format.h>
#include <locale.h>
#include <regex.h>
#include <utility>

namespace {

// The callers' flag numbers, bit by bit, onto glibc's (which swaps the
// meanings of 4 and 8).
int compileFlags(int options)
{
    int flags = REG_EXTENDED;
    if (options & CSRegex::IgnoreCase)
        flags |= REG_ICASE;
    if (options & CSRegex::NoSubexpressions)
        flags |= REG_NOSUB;
    if (options & CSRegex::NewlineSensitive)
        flags |= REG_NEWLINE;
    return flags;
}

// Switches the calling thread into the "C" locale for one call. The locale
// object is made once; setlocale is never touched, so other threads keep
// theirs.
class ByteLocale {
public:
    ByteLocale() : m_previous(uselocale(cLocale())) { }
    ~ByteLocale() { uselocale(m_previous); }
    ByteLocale(const ByteLocale&) = delete;
    ByteLocale& operator=(const ByteLocale&) = delete;

private:
    static locale_t cLocale()
    {
        static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return locale;
    }
    locale_t m_previous;
};

} // namespace

CSRegex::CSRegex(std::string_view pattern, int options)
    : m_preg(new regex_t)
{
    // regcomp reads a C string; a NUL inside the pattern ends it, as it did
    // for the C string the device handed over.
    std::string text(pattern.substr(0, pattern.find('\0')));
    ByteLocale locale;
    int result = regcomp(m_preg, text.c_str(), compileFlags(options));
    if (result != 0) {
        char message[256];
        regerror(result, m_preg, message, sizeof message);
        delete m_preg;
        m_preg = nullptr;
        throw core::Exception("CSRegexException", fmt::format("Could not compile regex \"{}\": {}", text, message));
    }
    if (options & NoSubexpressions) {
        m_pattern = std::move(text);
        m_options = options;
    }
}

CSRegex::~CSRegex()
{
    release();
}

void CSRegex::release()
{
    if (m_preg) {
        regfree(m_preg);
        delete m_preg;
        m_preg = nullptr;
    }
}

CSRegex::CSRegex(CSRegex&& other) noexcept
    : m_preg(std::exchange(other.m_preg, nullptr))
    , m_pattern(std::move(other.m_pattern))
    , m_options(other.m_options)
{
}

CSRegex& CSRegex::operator=(CSRegex&& other) noexcept
{
    if (this != &other) {
        release();
        m_preg = std::exchange(other.m_preg, nullptr);
        m_pattern = std::move(other.m_pattern);
        m_options = other.m_options;
    }
    return *this;
}

const std::string& CSRegex::null()
{
    static const std::string empty;
    return empty;
}

bool CSRegex::execute(std::string_view string, size_t count, std::vector<long>* offsets) const
{
    if (!m_preg)
        return false;
    // An expression compiled without sub-expressions records no positions;
    // asking it for them takes a twin compiled with them.
    if (count > 0 && (m_options & NoSubexpressions))
        return CSRegex(m_pattern, m_options & ~NoSubexpressions).execute(string, count, offsets);
    size_t length = string.find('\0');
    if (length == std::string_view::npos)
        length = string.size();
    // regexec counts in int offsets.
    if (length > INT_MAX)
        return false;
    // REG_STARTEND bounds the match by the length instead of a terminating
    // NUL, so the caller's bytes are used in place.
    std::vector<regmatch_t> matches(std::max<size_t>(count, 1));
    matches[0].rm_so = 0;
    matches[0].rm_eo = static_cast<regoff_t>(length);
    const char* bytes = string.empty() ? "" : string.data();
    ByteLocale locale;
    if (regexec(m_preg, bytes, count, matches.data(), REG_STARTEND) != 0)
        return false;
    if (offsets) {
        offsets->clear();
        for (size_t i = 0; i < count; ++i) {
            offsets->push_back(matches[i].rm_so);
            offsets->push_back(matches[i].rm_eo);
        }
    }
    return true;
}

bool CSRegex::matchesString(std::string_view string) const
{
    return execute(string, 0, nullptr);
}

std::optional<std::string> CSRegex::matchedSubstringOfString(std::string_view string) const
{
    std::vector<long> offsets;
    if (!execute(string, 1, &offsets) || offsets[0] < 0)
        return std::nullopt;
    return std::string(string.substr(offsets[0], offsets[1] - offsets[0]));
}

std::optional<std::vector<std::string>> CSRegex::capturedSubstringsOfString(std::string_view string) const
{
    std::vector<long> offsets;
    if (!m_preg || !execute(string, m_preg->re_nsub + 1, &offsets))
        return std::nullopt;
    std::vector<std::string> result;
    result.reserve(offsets.size() / 2);
    for (size_t i = 0; i < offsets.size(); i += 2) {
        if (offsets[i] < 0)
            result.push_back(null());
        else
            result.emplace_back(string.substr(offsets[i], offsets[i + 1] - offsets[i]));
    }
    return result;
}

bool matchedByPattern(std::string_view string, std::string_view pattern, int options)
{
    return CSRegex(pattern, options | CSRegex::NoSubexpressions).matchesString(string);
}

std::optional<std::string> substringMatchedByPattern(std::string_view string, std::string_view pattern, int options)
{
    return CSRegex(pattern, options).matchedSubstringOfString(string);
}

std::optional<std::vector<std::string>> substringsCapturedByPattern(std::string_view string, std::string_view pattern, int options)
{
    return CSRegex(pattern, options).capturedSubstringsOfString(string);
}

std::string escapedPattern(std::string_view string)
{
    static constexpr std::string_view special = ".^[$()*+?\\{|";
    std::string result;
    result.reserve(string.size() + string.size() / 4);
    for (char c : string) {
        if (special.find(c) != std::string_view::npos)
            result += '\\';
        result += c;
    }
    return result;
}
