#include "Platform/Web/GtkCookieSync.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"

#include <algorithm>
#include <webkit2/webkit2.h>

namespace web {

namespace {

using Cookie = net::CookieStorage::Cookie;

Cookie fromSoup(SoupCookie* soup)
{
    Cookie cookie;
    cookie.name = soup_cookie_get_name(soup) ?: "";
    cookie.value = soup_cookie_get_value(soup) ?: "";
    cookie.domain = soup_cookie_get_domain(soup) ?: "";
    cookie.path = soup_cookie_get_path(soup) ?: "/";
    if (GDateTime* expires = soup_cookie_get_expires(soup))
        cookie.expiresDate = core::Date::fromUnixTime(double(g_date_time_to_unix(expires)));
    cookie.isSecure = soup_cookie_get_secure(soup);
    cookie.isHTTPOnly = soup_cookie_get_http_only(soup);
    return cookie;
}

SoupCookie* toSoup(const Cookie& cookie)
{
    SoupCookie* soup = soup_cookie_new(cookie.name.c_str(), cookie.value.c_str(), cookie.domain.c_str(),
        cookie.path.c_str(), -1);
    if (cookie.expiresDate) {
        GDateTime* expires = g_date_time_new_from_unix_utc(gint64(cookie.expiresDate->timeIntervalSince1970()));
        if (expires) {
            soup_cookie_set_expires(soup, expires);
            g_date_time_unref(expires);
        }
    }
    soup_cookie_set_secure(soup, cookie.isSecure);
    soup_cookie_set_http_only(soup, cookie.isHTTPOnly);
    return soup;
}

bool sameIdentity(const Cookie& a, const Cookie& b)
{
    return a.name == b.name && a.domain == b.domain && a.path == b.path;
}

struct ReadCall {
    std::weak_ptr<bool> alive;
    GtkCookieSync* sync;
    uint64_t generation;
    std::function<void()> then;
};

struct AddCall {
    std::shared_ptr<size_t> remaining;
    std::shared_ptr<std::function<void()>> ready;
};

// net's cookies for the address that are not among `known`.
std::vector<Cookie> missingFrom(const std::vector<Cookie>& known, const std::string& url)
{
    std::vector<Cookie> missing;
    auto parsed = core::URL::parse(url);
    if (!parsed)
        return missing;
    for (const auto& cookie : net::CookieStorage::shared().cookiesForURL(*parsed)) {
        if (std::find(known.begin(), known.end(), cookie) == known.end())
            missing.push_back(cookie);
    }
    return missing;
}

void cookiesChanged(WebKitCookieManager*, gpointer data)
{
    static_cast<GtkCookieSync*>(data)->changed();
}

} // namespace

GtkCookieSync::GtkCookieSync(WebKitCookieManager* manager)
    : m_manager(WEBKIT_COOKIE_MANAGER(g_object_ref(manager)))
{
    m_handler = g_signal_connect(m_manager, "changed", G_CALLBACK(cookiesChanged), this);
}

GtkCookieSync::~GtkCookieSync()
{
    *m_alive = false;
    g_signal_handler_disconnect(m_manager, m_handler);
    g_object_unref(m_manager);
}

void GtkCookieSync::reset()
{
    m_known.clear();
    m_suspended = false;
    ++m_generation;
}

void GtkCookieSync::changed()
{
    if (m_suspended || m_readScheduled)
        return;
    m_readScheduled = true;
    std::weak_ptr<bool> alive = m_alive;
    core::RunLoop::main().post([this, alive] {
        if (alive.lock())
            read();
    });
}

void GtkCookieSync::read(std::function<void()> then)
{
    m_readScheduled = false;
    if (m_suspended) {
        if (then)
            then();
        return;
    }
    webkit_cookie_manager_get_all_cookies(
        m_manager, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<ReadCall> call(static_cast<ReadCall*>(data));
            GList* list = webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
            std::vector<Cookie> cookies;
            for (GList* item = list; item; item = item->next)
                cookies.push_back(fromSoup(static_cast<SoupCookie*>(item->data)));
            g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
            if (auto alive = call->alive.lock())
                call->sync->apply(std::move(cookies), call->generation);
            if (call->then)
                call->then();
        },
        new ReadCall { m_alive, this, m_generation, std::move(then) });
}

void GtkCookieSync::apply(std::vector<Cookie> cookies, uint64_t generation)
{
    if (generation != m_generation || m_suspended)
        return;
    auto& jar = net::CookieStorage::shared();
    for (const auto& cookie : cookies) {
        if (std::find(m_known.begin(), m_known.end(), cookie) == m_known.end())
            jar.setCookie(cookie);
    }
    for (const auto& old : m_known) {
        bool kept = std::any_of(cookies.begin(), cookies.end(), [&](const Cookie& now) { return sameIdentity(now, old); });
        if (!kept)
            jar.deleteCookie(old);
    }
    m_known = std::move(cookies);
}

void GtkCookieSync::prepare(const std::string& url, std::function<void()> ready)
{
    // A read can only find fewer of net's cookies missing (it makes net's
    // jar follow WebKit's): with none missing from what was read last, the
    // navigation need not wait for one.
    if (m_suspended || missingFrom(m_known, url).empty()) {
        ready();
        return;
    }
    // WebKit's own changes first, so that net's older values never
    // overwrite them.
    std::weak_ptr<bool> alive = m_alive;
    read([this, alive, url, ready = std::move(ready)]() mutable {
        if (alive.lock())
            addMissing(url, std::move(ready));
        else
            ready();
    });
}

void GtkCookieSync::addMissing(const std::string& url, std::function<void()> ready)
{
    std::vector<Cookie> missing = m_suspended ? std::vector<Cookie>() : missingFrom(m_known, url);
    if (missing.empty()) {
        ready();
        return;
    }
    auto remaining = std::make_shared<size_t>(missing.size());
    auto shared = std::make_shared<std::function<void()>>(std::move(ready));
    for (const auto& cookie : missing) {
        m_known.push_back(cookie);
        SoupCookie* soup = toSoup(cookie);
        webkit_cookie_manager_add_cookie(
            m_manager, soup, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                std::unique_ptr<AddCall> call(static_cast<AddCall*>(data));
                webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, nullptr);
                if (--*call->remaining == 0)
                    (*call->ready)();
            },
            new AddCall { remaining, shared });
        soup_cookie_free(soup);
    }
}

} // namespace web
