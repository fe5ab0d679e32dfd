#pragma once

#include "Platform/Core/Data.h"

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Additions to strings that the whole system shares: UUIDs, hexadecimal and
// Base64, character tests, escaping for HTML and URLs, MD5, the file-name
// order, path arithmetic relative to a folder and SQL quoting. Strings are
// UTF-8; bytes that are not well-formed UTF-8 are never copied into a
// result that promises text.

// A new random UUID, 36 upper-case characters.
std::string vkGenerateUUID();

// The hexadecimal number at the start of the text (after white space, with
// an optional "0x"); 0 when there is none, 0xFFFFFFFF when it overflows.
uint32_t vkHexValue(std::string_view text);

// The UTF-8 bytes in Base64 with line breaks.
std::string vkStringByEncodingBase64(std::string_view text);
// The decoded bytes as text; nothing when they are not well-formed UTF-8.
std::optional<std::string> vkStringByDecodingBase64(std::string_view text);
core::Data vkDataByDecodingBase64(std::string_view text);

// Whether every code point is a member of the set; true for "". A byte that
// is not well-formed UTF-8 is a member of no set.
bool isComposedEntirelyFromCharacterSet(std::string_view text, const std::function<bool(char32_t)>& member);
// Letters, marks and numbers.
bool vkIsAlphanumeric(std::string_view text);
// Spaces and tabs; line ends are not white space here.
bool vkIsWhitespace(std::string_view text);

// Every U+2019 (right single quotation mark) replaced by an apostrophe.
std::string vkStringWithNeutralPunctuation(std::string_view text);
// ROT13 of the ASCII letters, case kept; everything else unchanged.
std::string vkConvertedString(std::string_view text);

// The data decoded from a named character set; nothing when it does not
// decode. Logs nothing (see stringWithData() for the logging variant).
std::optional<std::string> vkStringWithData(const core::Data& data, std::string_view encoding);

// The four bytes of a code, most significant first, as ASCII: 0x50444620
// gives "PDF ". A zero byte ends the text early; a byte above 0x7F gives
// nothing.
std::optional<std::string> vkStringFrom4ByteCode(uint32_t code);

// The text for XML and HTML: " & ' < > as entities ("&apos;" for the
// apostrophe); characters XML cannot hold (other control characters,
// U+FFFE, U+FFFF, ill-formed bytes) are dropped.
std::string vkStringByEscapingHTML(std::string_view text);
// The text for a URL: space and !"#$%&'()*+,:;=?@[] as "%XX" (upper-case
// hex); letters, digits, "/", "-", ".", "_", "~" and non-ASCII characters as
// they are; control characters (tab and line ends too), U+FFFE, U+FFFF and
// ill-formed bytes dropped.
std::string vkStringByEscapingURL(std::string_view text);

// The text as the contents of a quoted JavaScript string, in single or
// double quotes alike, also inside an HTML script element: backslash and
// both quotes escaped, control characters, U+2028 and U+2029 as escapes,
// "</" as "<\/"; ill-formed bytes dropped.
std::string vkStringByEscapingJavaScriptString(std::string_view text);

// MD5 of the UTF-8 bytes, 32 lower-case hexadecimal digits.
std::string vkMD5String(std::string_view text);
// The text without its diacritics: "Ça été" gives "Ca ete".
std::string vkStringByStrippingDiacritics(std::string_view text);

// The file-name order of listings, pickers and the browser page: the user's
// locale, digit runs by value ("file 2" before "file 10"), case and width
// ignored, yet never equal for different texts ("a" before "A").
std::strong_ordering localizedNumericAndCaseInsensitiveCompare(std::string_view a, std::string_view b);
// Keys for sorting many texts (compare them as byte strings). Equal keys mean
// texts that the order above tells apart only by case or width, so a tie is
// settled by the comparison itself.
std::string localizedNumericAndCaseInsensitiveSortKey(std::string_view text);
// The same, case and width ignored, digits as plain characters.
std::string localizedCaseInsensitiveSortKey(std::string_view text);

std::string stringByEnsuringTrailingPathSeparator(std::string_view path);
std::string stringByEnsuringLeadingPathSeparator(std::string_view path);
// The path relative to `base`: "/a/b" against "/a" or "/a/" gives "b", "/a"
// against "/a" gives "". Nothing when the path lies outside the base ("/ab"
// against "/a").
std::optional<std::string> stringByAbbreviatingRelativeToPath(std::string_view path, std::string_view base);

// "'" doubled for an SQL string literal, and back.
std::string stringByEscapingSingleQuotes(std::string_view text);
std::string stringByUnescapingSingleQuotes(std::string_view text);
