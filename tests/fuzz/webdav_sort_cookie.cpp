// fuzz: tandry_webdav
// The browser page's listing order comes from its "vksortorder" cookie,
// which the client controls whole. Any Cookie header must give an order by
// name, size or date; a header without the cookie gives the default (name,
// ascending); and the order the page's script writes, among any other
// cookies, comes back as written (a key it does not know as name).
//
// Input: one flag byte. Odd: the rest is the header as it stands. Even: the
// next byte picks the key and the direction, and the rest, cut at its first
// 0xFF, is the cookies before and after the page's.

#include "FuzzCheck.h"
#include "HTTP/HTTPMessageRequest.h"
#include "Platform/Core/Log.h"
#include "WebDAV/WebDAVHTMLResponse.h"

#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

WebDAVHTMLResponse::SortOrder orderFor(std::string_view cookie)
{
    auto request = HTTPMessageRequest::create();
    request->message().appendBytes("GET /Documents/ HTTP/1.1\r\nHost: h\r\n\r\n");
    request->message().setHeader("Cookie", cookie);
    return WebDAVHTMLResponse::create(request, nullptr)->indexSortDescriptors();
}

// Other cookies: no separator or cookie of the page's in them.
std::string otherCookies(std::string_view text)
{
    std::string cookies;
    for (char c : text) {
        if (c != '\r' && c != '\n' && c != '\0')
            cookies += c;
    }
    for (size_t found; (found = cookies.find("vksortorder")) != std::string::npos;)
        cookies.erase(found, 11);
    return cookies;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static core::LogCapture quiet(true);
    if (size < 2 || size > 16384)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        const auto order = orderFor(rest);
        FUZZ_CHECK(order.key == "name" || order.key == "size" || order.key == "date");
        if (rest.find("vksortorder=") == std::string_view::npos)
            FUZZ_CHECK(order.key == "name" && order.ascending);
        quiet.clear();
        return 0;
    }

    static constexpr std::string_view Keys[] = { "name", "size", "date", "kind", "Size", "" };
    const std::string_view key = Keys[(data[1] >> 1) % std::size(Keys)];
    const bool ascending = data[1] & 1;
    const std::string_view cookies = rest.substr(1);
    const size_t cut = std::min(cookies.find('\xff'), cookies.size());
    const std::string before = otherCookies(cookies.substr(0, cut));
    const std::string after = otherCookies(cookies.substr(std::min(cut + 1, cookies.size())));
    // As the page's script writes it: JSON, percent-escaped.
    const std::string value = fmt::format("%7B%22key%22%3A%22{}%22%2C%22ascending%22%3A{}%7D", key,
        ascending ? "true" : "false");
    const std::string header = (before.empty() ? "" : before + "; ") + "vksortorder=" + value + "; " + after;
    const auto order = orderFor(header);
    const bool named = !key.empty() && key.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string_view::npos;
    if (!named) {
        FUZZ_CHECK(order.key == "name" && order.ascending);
    } else {
        FUZZ_CHECK(order.key == (key == "size" || key == "date" ? key : "name"));
        FUZZ_CHECK(order.ascending == ascending);
    }
    quiet.clear();
    return 0;
}
