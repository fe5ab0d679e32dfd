#pragma once

#include "Platform/Core/Date.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {
class URL;
}

namespace net {

// The process's cookie jar: every URL load sends the cookies that match its
// URL and keeps the ones its responses set, redirect hops included. Kept in
// memory only; nothing survives the process. The jar also carries the DNS
// cache and TLS sessions that loads share. Any thread.
class CookieStorage {
public:
    struct Cookie {
        std::string name;
        std::string value;
        // The host, or "." and a domain for a cookie its subdomains get too.
        std::string domain;
        std::string path = "/";
        // None for a cookie that lasts the session.
        std::optional<core::Date> expiresDate;
        bool isSecure = false;
        bool isHTTPOnly = false;

        bool operator==(const Cookie&) const = default;
    };

    static CookieStorage& shared();

    CookieStorage();
    ~CookieStorage();
    CookieStorage(const CookieStorage&) = delete;
    CookieStorage& operator=(const CookieStorage&) = delete;

    std::vector<Cookie> cookies() const;
    // The unexpired cookies a request to `url` carries: domain, path and
    // (for secure cookies) scheme match.
    std::vector<Cookie> cookiesForURL(const core::URL& url) const;
    // Adds or replaces the cookie of the same name, domain and path. False
    // for a cookie without a name or domain, with an empty label in its
    // domain, with a path that does not begin with "/", or with a field that
    // could break the jar's line format (tab, CR, LF, NUL).
    bool setCookie(const Cookie& cookie);
    void deleteCookie(const Cookie& cookie);
    void deleteAllCookiesForTesting();

    // The jar's share handle (curl's CURLSH), for loads to attach to; the
    // holder keeps it alive past a reset.
    std::shared_ptr<void> shareHandle() const;

    // A fresh, empty jar (the test environment).
    void reset();

    struct Jar;

private:
    std::shared_ptr<Jar> jar() const;

    mutable std::mutex m_mutex;
    // Made at first use.
    mutable std::shared_ptr<Jar> m_jar;
};

} // namespace net
