#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct re_pattern_buffer;

// A POSIX extended regular expression, compiled once and matched byte by
// byte against UTF-8 text: unique file names, the WebDAV If header and
// UNLOCK tokens. Matching always runs in the "C" locale, whatever locale the
// process has set, so that "." is one byte, not one character.
//
// Subjects are handed to the C library as C strings: a subject with an
// embedded NUL is matched only up to that NUL.
class CSRegex {
public:
    // Compile flags, numbered as the callers know them; mapped onto the C
    // library's own bits. Extended is always added.
    enum Options : int {
        Extended = 1,
        IgnoreCase = 2,
        NoSubexpressions = 4,
        NewlineSensitive = 8,
    };

    // Throws core::Exception "CSRegexException" when the pattern does not
    // compile.
    explicit CSRegex(std::string_view pattern, int options = 0);
    static CSRegex regexWithPattern(std::string_view pattern, int options = 0) { return CSRegex(pattern, options); }
    ~CSRegex();
    CSRegex(CSRegex&& other) noexcept;
    CSRegex& operator=(CSRegex&& other) noexcept;
    CSRegex(const CSRegex&) = delete;
    CSRegex& operator=(const CSRegex&) = delete;

    // Whether the pattern matches anywhere in the string.
    bool matchesString(std::string_view string) const;
    // The text of the first match.
    std::optional<std::string> matchedSubstringOfString(std::string_view string) const;
    // The whole first match, then every group in order; a group that took no
    // part in the match gives null(). Nothing when there is no match.
    std::optional<std::vector<std::string>> capturedSubstringsOfString(std::string_view string) const;

    // The shared empty string standing for a group that did not match.
    static const std::string& null();

private:
    // Runs regexec on the bytes before the first NUL; the offsets of up to
    // `count` groups land in `offsets` as (start, end) pairs, -1 when unset.
    bool execute(std::string_view string, size_t count, std::vector<long>* offsets) const;
    void release();

    re_pattern_buffer* m_preg = nullptr;
    // Kept only for an expression compiled without sub-expressions.
    std::string m_pattern;
    int m_options = 0;
};

// The string category: one-line use of a pattern on a string.
bool matchedByPattern(std::string_view string, std::string_view pattern, int options = 0);
std::optional<std::string> substringMatchedByPattern(std::string_view string, std::string_view pattern, int options = 0);
std::optional<std::vector<std::string>> substringsCapturedByPattern(std::string_view string, std::string_view pattern, int options = 0);
// The string with a backslash before each of . ^ [ $ ( ) * + ? \ { |, so
// that it matches itself literally inside a pattern.
std::string escapedPattern(std::string_view string);
