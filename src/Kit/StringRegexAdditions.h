#pragma once

#include "Platform/Core/Value.h"

#include "Platform/Core/Error.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Regular expressions on ICU, in two layers.
//
// The lower layer runs ICU expressions on UTF-16 text: subjects are
// std::u16string_view and every range counts UTF-16 units, because the PDF
// search hands the ranges on to page text kept in UTF-16. The operations
// that answer booleans or strings also take UTF-8 (invalid bytes read as
// U+FFFD) and answer UTF-8, converting at the edge.
//
// Compiled expressions live in a process-wide cache of 23 slots (chosen by
// the pattern's hash; a pattern landing on a taken slot replaces it), so a
// loop applying one pattern compiles it once. Options are ICU's pattern
// flags, passed through unchanged, and are part of the cache key. One lock
// guards the cache: ICU is only touched under it, and results and
// exceptions are handed out after it is released. A memory warning empties
// the cache (retrying 0.1 s later on the run loop while the lock is busy).
//
// Misuse throws core::Exception with the reason prefixed
// "*** -[NSString <selector>]: ": a range beyond the subject
// (NSRangeException "Range or index out of bounds."), a capture index below
// 0 or above the group count (NSInvalidArgumentException "The capture
// argument is not valid."). A pattern that does not compile is reported
// through `error` in "RKLICURegexErrorDomain" or, without one, quietly
// answers the empty result. An ICU failure while matching throws
// "RKLICURegexException".

// A range of UTF-16 units. A range that is not there has location
// RegexNotFound and length 0.
struct RegexRange {
    size_t location = 0;
    size_t length = 0;

    size_t end() const { return location + length; }
    bool operator==(const RegexRange&) const = default;
};

inline constexpr size_t RegexNotFound = core::kNotFound;
inline constexpr RegexRange RegexNotFoundRange { RegexNotFound, 0 };
// A length of SIZE_MAX reaches to the end of the subject.
inline constexpr RegexRange RegexWholeRange { 0, SIZE_MAX };

using RKLRegexOptions = uint32_t;
inline constexpr RKLRegexOptions RKLNoOptions = 0;
inline constexpr RKLRegexOptions RKLCaseless = 2;
inline constexpr RKLRegexOptions RKLComments = 4;
inline constexpr RKLRegexOptions RKLDotAll = 32;
inline constexpr RKLRegexOptions RKLMultiline = 8;
inline constexpr RKLRegexOptions RKLUnicodeWordBoundaries = 256;

inline constexpr const char* RKLICURegexErrorDomain = "RKLICURegexErrorDomain";
inline constexpr const char* RKLICURegexException = "RKLICURegexException";
inline constexpr const char* RKLICURegexRegexErrorKey = "RKLICURegexRegex";
inline constexpr const char* RKLICURegexRegexOptionsErrorKey = "RKLICURegexRegexOptions";
inline constexpr const char* RKLICURegexErrorCodeErrorKey = "RKLICURegexErrorCode";
inline constexpr const char* RKLICURegexErrorNameErrorKey = "RKLICURegexErrorName";
inline constexpr const char* RKLICURegexLineErrorKey = "RKLICURegexLine";
inline constexpr const char* RKLICURegexOffsetErrorKey = "RKLICURegexOffset";
inline constexpr const char* RKLICURegexPreContextErrorKey = "RKLICURegexPreContext";
inline constexpr const char* RKLICURegexPostContextErrorKey = "RKLICURegexPostContext";

// ---- Lower layer: UTF-16 subjects ----

bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex);
bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range);
bool isMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, RegexRange range,
    core::Error* error = nullptr);

// The first match, or the given capture group of it; RegexNotFoundRange
// when there is none or when that group took no part.
RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex);
RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, int capture);
RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range);
RegexRange rangeOfRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, RegexRange range,
    int capture, core::Error* error = nullptr);

// The text of that range.
std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex);
std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex, int capture);
std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex, RegexRange range);
std::optional<std::u16string> stringByMatching(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, int capture, core::Error* error = nullptr);

// The text of the capture (0: the whole match) of every match; a group that
// took no part gives an empty string.
std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex);
std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, int capture);
std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range);
std::vector<std::u16string> componentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, int capture, core::Error* error = nullptr);

// The whole first match and each of its groups.
std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex);
std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range);
std::vector<std::u16string> captureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, core::Error* error = nullptr);

// The same for every match.
std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject, std::u16string_view regex);
std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject,
    std::u16string_view regex, RegexRange range);
std::vector<std::vector<std::u16string>> arrayOfCaptureComponentsMatchedByRegex(std::u16string_view subject,
    std::u16string_view regex, RKLRegexOptions options, RegexRange range, core::Error* error = nullptr);

// The text before, between and after the matches; only an empty piece at
// the very end is left out ("a,,b," at "," gives a, "", b).
std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex);
std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex, RegexRange range);
std::vector<std::u16string> componentsSeparatedByRegex(std::u16string_view subject, std::u16string_view regex,
    RKLRegexOptions options, RegexRange range, core::Error* error = nullptr);

// The text of the range with every match replaced by the template ("$1"
// stands for group 1). Nothing when the pattern does not compile.
std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement);
std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement, RegexRange range);
std::optional<std::u16string> stringByReplacingOccurrencesOfRegex(std::u16string_view subject, std::u16string_view regex,
    std::u16string_view replacement, RKLRegexOptions options, RegexRange range, core::Error* error = nullptr);

// Replaces in place and answers the number of replacements; with none the
// string is left untouched.
size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement);
size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement,
    RegexRange range);
size_t replaceOccurrencesOfRegex(std::u16string& subject, std::u16string_view regex, std::u16string_view replacement,
    RKLRegexOptions options, RegexRange range, core::Error* error = nullptr);

// The pattern's number of capture groups, -1 when it does not compile.
int64_t captureCount(std::u16string_view regex);
int64_t captureCount(std::u16string_view regex, RKLRegexOptions options, core::Error* error = nullptr);
int64_t captureCountForRegex(std::u16string_view regex);
int64_t captureCountForRegex(std::u16string_view regex, RKLRegexOptions options, core::Error* error = nullptr);
bool isRegexValid(std::u16string_view regex);
bool isRegexValid(std::u16string_view regex, RKLRegexOptions options, core::Error* error = nullptr);

// The cache keeps no subject text between calls (ICU is detached from it
// when each call ends), so a changed buffer can never answer for the old
// one; this drops nothing and stays for callers that say a text changed.
void flushCachedRegexData(std::u16string_view subject);
// Empties the whole cache of compiled expressions.
void clearStringCache();

// ---- Lower layer: UTF-8 ----

bool isMatchedByRegex(std::string_view subject, std::string_view regex, RKLRegexOptions options = 0, core::Error* error = nullptr);
std::optional<std::string> stringByMatching(std::string_view subject, std::string_view regex, RKLRegexOptions options = 0,
    int capture = 0, core::Error* error = nullptr);
std::vector<std::string> componentsMatchedByRegex(std::string_view subject, std::string_view regex, RKLRegexOptions options = 0,
    int capture = 0, core::Error* error = nullptr);
std::vector<std::string> captureComponentsMatchedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options = 0, core::Error* error = nullptr);
std::vector<std::vector<std::string>> arrayOfCaptureComponentsMatchedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options = 0, core::Error* error = nullptr);
std::vector<std::string> componentsSeparatedByRegex(std::string_view subject, std::string_view regex,
    RKLRegexOptions options = 0, core::Error* error = nullptr);
std::optional<std::string> stringByReplacingOccurrencesOfRegex(std::string_view subject, std::string_view regex,
    std::string_view replacement, RKLRegexOptions options = 0, core::Error* error = nullptr);
size_t replaceOccurrencesOfRegex(std::string& subject, std::string_view regex, std::string_view replacement,
    RKLRegexOptions options = 0, core::Error* error = nullptr);
int64_t captureCount(std::string_view regex, RKLRegexOptions options = 0, core::Error* error = nullptr);
bool isRegexValid(std::string_view regex, RKLRegexOptions options = 0, core::Error* error = nullptr);

// ---- Upper layer: what the PDF reader, content index and search call ----

// The first match (or capture) over the whole subject; never reports a bad
// pattern, which answers RegexNotFoundRange.
RegexRange vkRangeOfRegex(std::u16string_view subject, std::u16string_view regex, RKLRegexOptions options, int capture);
// Group 1 of the first case-insensitive match; nothing without a match.
// Throws when the pattern has no group.
std::optional<std::u16string> vkCaptureOfRegex(std::u16string_view subject, std::u16string_view regex);
std::optional<std::string> vkCaptureOfRegex(std::string_view subject, std::string_view regex);
// The words of the text in order: word-boundary segments (no locale) that
// hold at least one letter (Unicode L* or M*), kept whole, so "abc123"
// stays and "456" goes. Safe on several threads at once.
std::vector<std::u16string> vkWordBoundaryTokens(std::u16string_view text);
std::vector<std::string> vkWordBoundaryTokens(std::string_view text);
// A search pattern of the text's words, each escaped (every ASCII character
// that is not a letter or digit gets a backslash): mode 1 matches any of
// them ("\bbig\b|\bcat"), any other mode the words in sequence
// ("\bbig cat"). The last word matches as a prefix unless the text ends
// with a space.
std::u16string vkWordBoundaryRegex(std::u16string_view text, int mode);
std::string vkWordBoundaryRegex(std::string_view text, int mode);

// ---- Test hooks ----
namespace RegexCacheTesting {
// The slot a pattern lands on, and how many compiles the cache has made.
size_t slotForPattern(std::u16string_view regex);
uint64_t compileCount();
// Slots holding a compiled expression.
size_t occupiedSlots();
// Forgets the memory-warning registration (the test environment's
// notification centre is fresh for each test) and empties the cache.
void reset();
// Holds the cache lock on a thread of its own until release() or the end
// of its life.
class LockHolder {
public:
    LockHolder();
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    void release();

private:
    struct State;
    State* m_state;
};
} // namespace RegexCacheTesting
