#include "Kit/StringAdditions.h"

#include "Kit/Base64.h"
#include "Kit/DataAdditions.h"
#include "Platform/Core/CodePoints.h"
#include "Platform/Core/Collator.h"
#include "Platform/Core/DateFormatter.h"
#include "Platform/Core/PercentEscape.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UUID.h"
#include "Platform/Security/Digest.h"

#include <fmt/format.h>
#include <unicode/uchar.h>

#include <cctype>
#include <charconv>
#include <map>
#include <memory>
#include <mutex>

namespace {

bool isScannerSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string replacingAll(std::string_view text, std::string_view from, std::string_view to)
{
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string_view::npos; start = found + from.size()) {
        result.append(text, start, found - start);
        result.append(to);
    }
    result.append(text, start);
    return result;
}

// Whether XML 1.0 can hold the code point.
bool isXMLCharacter(char32_t c)
{
    return c == 0x09 || c == 0x0A || c == 0x0D || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || c >= 0x10000;
}

// Walks the text, writing each code point that `entity` names as its
// replacement, copying the other XML characters in runs and dropping the
// rest.
template<typename Entity>
std::string escaped(std::string_view text, Entity&& entity, bool keepLineEnds)
{
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    size_t run = 0;
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t offset) {
        const char* replacement = point.valid ? entity(point.value) : nullptr;
        bool keep = point.valid && !replacement && isXMLCharacter(point.value) && (keepLineEnds || point.value >= 0x20);
        if (keep)
            return;
        result.append(text, run, offset - run);
        if (replacement)
            result += replacement;
        run = offset + point.length;
    });
    result.append(text, run);
    return result;
}

// Secondary strength ignores case and width; tertiary then orders what it
// ignored, so that only identical texts are equal. The plain one ignores
// case without reading digit runs as numbers. One set per locale, made once.
struct FileNameCollators {
    core::Collator secondary;
    core::Collator tertiary;
    core::Collator plain;
};

std::shared_ptr<const FileNameCollators> fileNameCollators()
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const FileNameCollators>, std::less<>> byLocale;
    std::string locale = core::DateFormatter::defaultLocale();
    std::lock_guard lock(mutex);
    auto found = byLocale.find(locale);
    if (found != byLocale.end())
        return found->second;
    auto collators = std::make_shared<const FileNameCollators>(FileNameCollators {
        core::Collator(locale, core::Collator::Strength::Secondary, true),
        core::Collator(locale, core::Collator::Strength::Tertiary, true),
        core::Collator(locale, core::Collator::Strength::Secondary, false) });
    byLocale.emplace(locale, collators);
    return collators;
}

} // namespace

std::string vkGenerateUUID()
{
    return core::uuidString();
}

uint32_t vkHexValue(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && isScannerSpace(text[i]))
        ++i;
    if (text.size() - i > 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')
        && std::isxdigit(static_cast<unsigned char>(text[i + 2])))
        i += 2;
    uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value, 16);
    (void)end;
    return error == std::errc::result_out_of_range ? UINT32_MAX : value;
}

std::string vkStringByEncodingBase64(std::string_view text)
{
    return NewBase64Encode(text, true);
}

std::optional<std::string> vkStringByDecodingBase64(std::string_view text)
{
    std::string bytes = NewBase64Decode(text);
    if (!core::isValidUTF8(bytes))
        return std::nullopt;
    return bytes;
}

core::Data vkDataByDecodingBase64(std::string_view text)
{
    return core::Data(NewBase64Decode(text));
}

bool isComposedEntirelyFromCharacterSet(std::string_view text, const std::function<bool(char32_t)>& member)
{
    for (size_t offset = 0; offset < text.size();) {
        core::CodePoint point = core::decodeCodePoint(text, offset);
        if (!point.valid || !member(point.value))
            return false;
        offset += point.length;
    }
    return true;
}

bool vkIsAlphanumeric(std::string_view text)
{
    return isComposedEntirelyFromCharacterSet(text, [](char32_t c) {
        return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
    });
}

bool vkIsWhitespace(std::string_view text)
{
    return isComposedEntirelyFromCharacterSet(text, [](char32_t c) {
        return c == '\t' || (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_ZS_MASK) != 0;
    });
}

std::string vkStringWithNeutralPunctuation(std::string_view text)
{
    return replacingAll(text, "\u2019", "'");
}

std::string vkConvertedString(std::string_view text)
{
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>('a' + (c - 'a' + 13) % 26);
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>('A' + (c - 'A' + 13) % 26);
    }
    return result;
}

std::optional<std::string> vkStringWithData(const core::Data& data, std::string_view encoding)
{
    std::optional<std::string> text = core::TextConverter::convertText(data.view(), encoding);
    if (text && !core::isValidUTF8(*text))
        return std::nullopt;
    return text;
}

std::optional<std::string> vkStringFrom4ByteCode(uint32_t code)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto byte = static_cast<uint8_t>(code >> shift);
        if (byte == 0)
            break;
        if (byte > 0x7F)
            return std::nullopt;
        text += static_cast<char>(byte);
    }
    return text;
}

std::string vkStringByEscapingHTML(std::string_view text)
{
    return escaped(
        text,
        [](char32_t c) -> const char* {
            switch (c) {
            case '"':
                return "&quot;";
            case '&':
                return "&amp;";
            case '\'':
                return "&apos;";
            case '<':
                return "&lt;";
            case '>':
                return "&gt;";
            default:
                return nullptr;
            }
        },
        true);
}

std::string vkStringByEscapingURL(std::string_view text)
{
    return escaped(
        text,
        [](char32_t c) -> const char* {
            switch (c) {
            case ' ':
                return "%20";
            case '!':
                return "%21";
            case '"':
                return "%22";
            case '#':
                return "%23";
            case '$':
                return "%24";
            case '%':
                return "%25";
            case '&':
                return "%26";
            case '\'':
                return "%27";
            case '(':
                return "%28";
            case ')':
                return "%29";
            case '*':
                return "%2A";
            case '+':
                return "%2B";
            case ',':
                return "%2C";
            case ':':
                return "%3A";
            case ';':
                return "%3B";
            case '=':
                return "%3D";
            case '?':
                return "%3F";
            case '@':
                return "%40";
            case '[':
                return "%5B";
            case ']':
                return "%5D";
            default:
                return nullptr;
            }
        },
        false);
}

std::string vkStringByEscapingJavaScriptString(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + text.size() / 8);
    char32_t previous = 0;
    core::forEachCodePoint(text, [&](const core::CodePoint& point, size_t offset) {
        if (!point.valid)
            return;
        char32_t c = point.value;
        switch (c) {
        case '\\':
            result += "\\\\";
            break;
        case '\'':
            result += "\\'";
            break;
        case '"':
            result += "\\\"";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '/':
            // "</script>" must not end the element the script may sit in.
            result += previous == '<' ? "\\/" : "/";
            break;
        default:
            if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029)
                result += fmt::format("\\u{:04x}", uint32_t(c));
            else
                result.append(text, offset, point.length);
        }
        previous = c;
    });
    return result;
}

std::string vkMD5String(std::string_view text)
{
    return vkHexRepresentation(sec::Digest::md5(text));
}

std::string vkStringByStrippingDiacritics(std::string_view text)
{
    return core::strippingDiacritics(text);
}

std::strong_ordering localizedNumericAndCaseInsensitiveCompare(std::string_view a, std::string_view b)
{
    auto collators = fileNameCollators();
    int order = collators->secondary.compare(a, b);
    if (order == 0)
        order = collators->tertiary.compare(a, b);
    if (order == 0)
        return a <=> b; // UTF-8 bytes order as code points do
    return order < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
}

std::string localizedNumericAndCaseInsensitiveSortKey(std::string_view text)
{
    return fileNameCollators()->secondary.sortKey(text);
}

std::string localizedCaseInsensitiveSortKey(std::string_view text)
{
    return fileNameCollators()->plain.sortKey(text);
}

std::string stringByEnsuringTrailingPathSeparator(std::string_view path)
{
    std::string result(path);
    if (!result.ends_with('/'))
        result += '/';
    return result;
}

std::string stringByEnsuringLeadingPathSeparator(std::string_view path)
{
    return path.starts_with('/') ? std::string(path) : "/" + std::string(path);
}

std::optional<std::string> stringByAbbreviatingRelativeToPath(std::string_view path, std::string_view base)
{
    if (!stringByEnsuringTrailingPathSeparator(path).starts_with(stringByEnsuringTrailingPathSeparator(base)))
        return std::nullopt;
    if (base.size() >= path.size())
        return std::string();
    std::string_view rest = path.substr(base.size());
    if (rest.starts_with('/'))
        rest.remove_prefix(1);
    return std::string(rest);
}

std::string stringByEscapingSingleQuotes(std::string_view text)
{
    return replacingAll(text, "'", "''");
}

std::string stringByUnescapingSingleQuotes(std::string_view text)
{
    return replacingAll(text, "''", "'");
}
