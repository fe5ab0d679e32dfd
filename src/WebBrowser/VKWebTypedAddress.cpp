#include "WebBrowser/VKWebTypedAddress.h"

#include "Kit/CSRegex.h"
#include "Platform/Core/UTF8.h"

#include <glib.h>

namespace {

bool isASCII(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Non-ASCII bytes as "%XX"; everything else as typed.
std::string escapeNonASCII(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string escaped;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += hex[byte >> 4];
            escaped += hex[byte & 15];
        }
    }
    return escaped;
}

// The address with its host in ASCII (IDNA) and the rest escaped; none when
// the host cannot be converted.
std::optional<std::string> asciiAddress(const std::string& address)
{
    size_t schemeEnd = address.find("://");
    if (schemeEnd == std::string::npos)
        return std::nullopt;
    size_t authorityStart = schemeEnd + 3;
    size_t authorityEnd = address.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string::npos)
        authorityEnd = address.size();
    std::string authority = address.substr(authorityStart, authorityEnd - authorityStart);
    size_t at = authority.rfind('@');
    size_t hostStart = at == std::string::npos ? 0 : at + 1;
    size_t colon = authority.find(':', hostStart);
    size_t hostEnd = colon == std::string::npos ? authority.size() : colon;
    std::string host = authority.substr(hostStart, hostEnd - hostStart);
    if (!host.empty() && !isASCII(host)) {
        if (!core::utf8::isValid(host))
            return std::nullopt;
        char* converted = g_hostname_to_ascii(host.c_str());
        if (!converted)
            return std::nullopt;
        host = converted;
        g_free(converted);
    }
    return address.substr(0, authorityStart) + escapeNonASCII(authority.substr(0, hostStart)) + host
        + escapeNonASCII(authority.substr(hostEnd)) + escapeNonASCII(address.substr(authorityEnd));
}

} // namespace

std::optional<core::URL> VKWebURLFromTypedAddress(std::string_view text)
{
    std::string address(text);
    if (!matchedByPattern(address, "^[a-z]+://", CSRegex::IgnoreCase))
        address = "http://" + address;
    if (auto url = core::URL::parse(address))
        return url;
    if (isASCII(address))
        return std::nullopt;
    auto ascii = asciiAddress(address);
    return ascii ? core::URL::parse(*ascii) : std::nullopt;
}
