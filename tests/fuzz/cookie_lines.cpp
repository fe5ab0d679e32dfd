// fuzz: tandry_platform_net
// The cookie jar's lines: cookies set through the store, and cookies that
// servers' "Set-Cookie" headers put into the jar, are read back from the
// jar's line format. A cookie the store accepts comes back as it was set
// (or not at all once expired); every cookie read back has fields a line
// can hold and, where the store takes it again, comes back unchanged; the
// cookies for a URL all match its host.

#include "FuzzCheck.h"

#include "Platform/Core/Date.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/CookieStorage.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Cookie = net::CookieStorage::Cookie;

// The input's parts between 0x1F bytes.
std::vector<std::string_view> parts(std::string_view bytes)
{
    std::vector<std::string_view> result;
    size_t start = 0;
    while (true) {
        const size_t end = bytes.find('\x1F', start);
        result.push_back(bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return result;
        start = end + 1;
    }
}

bool fitsALine(const std::string& field)
{
    return field.find_first_of(std::string_view("\t\r\n\0", 4)) == std::string::npos;
}

bool isExpired(const Cookie& cookie)
{
    return cookie.expiresDate && cookie.expiresDate->timeIntervalSince1970() <= core::Date::now().timeIntervalSince1970() + 1;
}

// Every cookie in the jar is whole, and set again it comes back unchanged.
void checkJar(net::CookieStorage& storage)
{
    const auto cookies = storage.cookies();
    for (const Cookie& cookie : cookies) {
        FUZZ_CHECK(fitsALine(cookie.name) && fitsALine(cookie.value) && fitsALine(cookie.domain) && fitsALine(cookie.path));
        FUZZ_CHECK(!cookie.domain.empty() && !cookie.path.empty());
    }
    for (const Cookie& cookie : cookies) {
        if (isExpired(cookie))
            continue;
        net::CookieStorage again;
        if (!again.setCookie(cookie))
            continue;
        const auto back = again.cookies();
        FUZZ_CHECK(back.size() == 1 && back.front() == cookie);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto fields = parts(bytes);
    net::CookieStorage storage;

    if (data[0] & 1) {
        // One cookie through the store: name, value, domain, path, expiry,
        // flags.
        Cookie cookie;
        cookie.name = fields.size() > 0 ? std::string(fields[0]) : "";
        cookie.value = fields.size() > 1 ? std::string(fields[1]) : "";
        cookie.domain = fields.size() > 2 ? std::string(fields[2]) : "";
        cookie.path = fields.size() > 3 ? std::string(fields[3]) : "/";
        if (fields.size() > 4 && !fields[4].empty()) {
            double seconds = 0;
            for (char c : fields[4].substr(0, 12))
                seconds = seconds * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
            cookie.expiresDate = core::Date::fromUnixTime(fields[4].front() == '-' ? -seconds : seconds);
        }
        cookie.isSecure = (data[0] & 2) != 0;
        cookie.isHTTPOnly = (data[0] & 4) != 0;
        if (storage.setCookie(cookie) && !isExpired(cookie)) {
            const auto back = storage.cookies();
            FUZZ_CHECK(back.size() == 1 && back.front() == cookie);
        }
    } else {
        // Headers as a server sends them, into the jar the loads share.
        auto share = storage.shareHandle();
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_SHARE, share.get());
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
        for (const auto& field : fields) {
            const std::string line = "Set-Cookie: " + std::string(field.substr(0, 4096));
            if (line.find('\0') == std::string::npos)
                curl_easy_setopt(easy, CURLOPT_COOKIELIST, line.c_str());
        }
        curl_easy_cleanup(easy);
    }
    checkJar(storage);

    for (const char* text : { "https://www.example.com/docs/a", "http://example.com/", "http://127.0.0.1/x" }) {
        const auto url = core::URL::parse(text);
        const std::string host = url->host();
        for (const Cookie& cookie : storage.cookiesForURL(*url)) {
            std::string domain = cookie.domain;
            std::string lowered = host;
            for (auto* s : { &domain, &lowered })
                std::transform(s->begin(), s->end(), s->begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if (domain.starts_with('.'))
                FUZZ_CHECK(lowered == domain.substr(1) || lowered.ends_with(domain));
            else
                FUZZ_CHECK(lowered == domain);
            FUZZ_CHECK(!cookie.isSecure || url->scheme() == "https");
        }
    }
    return 0;
}
