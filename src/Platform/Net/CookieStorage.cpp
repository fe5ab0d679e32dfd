#include "Platform/Net/CookieStorage.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/CurlMulti.h"

#include <array>
#include <charconv>
#include <cmath>
#include <curl/curl.h>
#include <ctime>
#include <fmt/format.h>

namespace net {

namespace {

constexpr std::string_view HttpOnlyPrefix = "#HttpOnly_";

bool hasLineBreaker(std::string_view text)
{
    return text.find_first_of(std::string_view("\t\r\n\0", 4)) != std::string_view::npos;
}

// One cookie in the jar's line format: domain, subdomains flag, path,
// secure flag, expiry (Unix seconds, 0 for the session), name, value.
std::string netscapeLine(const CookieStorage::Cookie& cookie, int64_t expires)
{
    const bool subdomains = cookie.domain.starts_with('.');
    return fmt::format("{}{}\t{}\t{}\t{}\t{}\t{}\t{}", cookie.isHTTPOnly ? HttpOnlyPrefix : "", cookie.domain,
        subdomains ? "TRUE" : "FALSE", cookie.path, cookie.isSecure ? "TRUE" : "FALSE", expires, cookie.name,
        cookie.value);
}

int64_t unixExpiry(const CookieStorage::Cookie& cookie)
{
    if (!cookie.expiresDate)
        return 0;
    // 0 means "session" to the jar; a cookie at the epoch has long expired anyway.
    const double seconds = std::floor(cookie.expiresDate->timeIntervalSince1970());
    return seconds < 1 ? 1 : seconds > 9e15 ? int64_t(9e15) : int64_t(seconds);
}

std::optional<CookieStorage::Cookie> parseLine(std::string_view line)
{
    CookieStorage::Cookie cookie;
    if (line.starts_with(HttpOnlyPrefix)) {
        cookie.isHTTPOnly = true;
        line.remove_prefix(HttpOnlyPrefix.size());
    }
    std::array<std::string_view, 7> fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        const size_t tab = i + 1 < fields.size() ? line.find('\t') : std::string_view::npos;
        if (i + 1 < fields.size() && tab == std::string_view::npos)
            return std::nullopt;
        fields[i] = line.substr(0, tab);
        line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    }
    cookie.domain = std::string(fields[0]);
    if (fields[1] == "TRUE" && !cookie.domain.starts_with('.'))
        cookie.domain.insert(0, ".");
    // The jar lists a path as the server gave it but sends the cookie for
    // "/" when that path is not absolute ("docs", "FALSE").
    cookie.path = fields[2].starts_with('/') ? std::string(fields[2]) : "/";
    cookie.isSecure = fields[3] == "TRUE";
    int64_t expires = 0;
    std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), expires);
    if (expires > 0)
        cookie.expiresDate = core::Date::fromUnixTime(double(expires));
    cookie.name = std::string(fields[5]);
    cookie.value = std::string(fields[6]);
    return cookie;
}

bool domainMatches(const std::string& host, const std::string& domain)
{
    const std::string lowerHost = core::ascii::lowercased(host);
    if (!domain.starts_with('.'))
        return lowerHost == core::ascii::lowercased(domain);
    const std::string bare = core::ascii::lowercased(std::string_view(domain).substr(1));
    return lowerHost == bare || (lowerHost.size() > bare.size() && lowerHost.ends_with("." + bare));
}

bool pathMatches(const std::string& requestPath, const std::string& cookiePath)
{
    if (cookiePath.empty() || cookiePath == "/")
        return true;
    if (!requestPath.starts_with(cookiePath))
        return false;
    return requestPath.size() == cookiePath.size() || cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

} // namespace

// The share handle with its locks, and one handle of its own for reading
// and changing the cookies (curl reaches a share's cookies only through an
// easy handle attached to it).
struct CookieStorage::Jar {
    CURLSH* share = nullptr;
    CURL* editor = nullptr;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
    std::mutex editorMutex;

    Jar()
    {
        CurlMulti::initializeLibrary();
        share = curl_share_init();
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &Jar::lock);
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &Jar::unlock);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        editor = curl_easy_init();
        curl_easy_setopt(editor, CURLOPT_SHARE, share);
        curl_easy_setopt(editor, CURLOPT_COOKIEFILE, "");
    }

    ~Jar()
    {
        curl_easy_cleanup(editor);
        curl_share_cleanup(share);
    }

    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user)
    {
        static_cast<Jar*>(user)->locks[size_t(data) % CURL_LOCK_DATA_LAST].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user)
    {
        static_cast<Jar*>(user)->locks[size_t(data) % CURL_LOCK_DATA_LAST].unlock();
    }

    void edit(const char* command)
    {
        std::lock_guard lock(editorMutex);
        curl_easy_setopt(editor, CURLOPT_COOKIELIST, command);
    }

    // The cookies that have not expired: the jar drops expired ones only
    // when it next changes.
    std::vector<Cookie> list()
    {
        std::lock_guard lock(editorMutex);
        curl_slist* lines = nullptr;
        std::vector<Cookie> result;
        if (curl_easy_getinfo(editor, CURLINFO_COOKIELIST, &lines) != CURLE_OK)
            return result;
        const double now = double(std::time(nullptr));
        for (curl_slist* line = lines; line; line = line->next) {
            auto cookie = parseLine(line->data);
            if (cookie && !(cookie->expiresDate && cookie->expiresDate->timeIntervalSince1970() <= now))
                result.push_back(std::move(*cookie));
        }
        curl_slist_free_all(lines);
        return result;
    }
};

CookieStorage& CookieStorage::shared()
{
    static CookieStorage storage;
    return storage;
}

CookieStorage::CookieStorage() = default;

CookieStorage::~CookieStorage() = default;

std::shared_ptr<CookieStorage::Jar> CookieStorage::jar() const
{
    std::lock_guard lock(m_mutex);
    if (!m_jar)
        m_jar = std::make_shared<Jar>();
    return m_jar;
}

std::shared_ptr<void> CookieStorage::shareHandle() const
{
    auto current = jar();
    return std::shared_ptr<void>(current, current->share);
}

std::vector<CookieStorage::Cookie> CookieStorage::cookies() const
{
    return jar()->list();
}

std::vector<CookieStorage::Cookie> CookieStorage::cookiesForURL(const core::URL& url) const
{
    const std::string host = url.host();
    std::string path = url.escapedPath();
    if (path.empty())
        path = "/";
    const bool secure = core::ascii::equalIgnoringCase(url.scheme(), "https");
    std::vector<Cookie> result;
    for (auto& cookie : cookies()) {
        if ((cookie.isSecure && !secure) || !domainMatches(host, cookie.domain) || !pathMatches(path, cookie.path))
            continue;
        result.push_back(std::move(cookie));
    }
    return result;
}

bool CookieStorage::setCookie(const Cookie& cookie)
{
    // A path must be absolute: no request path matches another, and the
    // jar's lines take "TRUE" or "FALSE" there for an older layout's flag.
    if (cookie.name.empty() || cookie.domain.empty() || cookie.domain == "." || !cookie.path.starts_with('/'))
        return false;
    for (const auto* field : { &cookie.name, &cookie.value, &cookie.domain, &cookie.path }) {
        if (hasLineBreaker(*field))
            return false;
    }
    // "#" begins a comment line in the jar; an empty label ("..") names no
    // host, and the jar would keep one dot fewer of a leading pair.
    if (cookie.domain.starts_with('#') || cookie.domain.find("..") != std::string::npos)
        return false;
    jar()->edit(netscapeLine(cookie, unixExpiry(cookie)).c_str());
    return true;
}

void CookieStorage::deleteCookie(const Cookie& cookie)
{
    // The jar has no removal of one cookie: an expired one of the same name,
    // domain and path replaces it, and expired cookies are never sent.
    if (cookie.name.empty() || cookie.domain.empty())
        return;
    for (const auto* field : { &cookie.name, &cookie.domain, &cookie.path }) {
        if (hasLineBreaker(*field))
            return;
    }
    Cookie expired = cookie;
    expired.value.clear();
    jar()->edit(netscapeLine(expired, 1).c_str());
}

void CookieStorage::deleteAllCookiesForTesting()
{
    jar()->edit("ALL");
}

void CookieStorage::reset()
{
    std::shared_ptr<Jar> old;
    std::lock_guard lock(m_mutex);
    old = std::move(m_jar);
}

} // namespace net
