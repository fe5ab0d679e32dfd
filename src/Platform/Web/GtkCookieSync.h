#pragma once

// Keeps WebKit's cookies and net::CookieStorage (the jar of record) in step,
// so that a download of a link from a signed-in page carries the page's
// cookies and a page sees what net's loads were given. When WebKit's jar
// changes, all of it is read (once per pass however many changes came) and
// the differences from what was read last go into net's jar: new and
// changed cookies set, vanished ones deleted. Before a navigation, net's
// cookies for its address that WebKit lacks are added to WebKit first.

#include "Platform/Net/CookieStorage.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _WebKitCookieManager WebKitCookieManager;

namespace web {

class GtkCookieSync {
public:
    explicit GtkCookieSync(WebKitCookieManager* manager);
    ~GtkCookieSync();
    GtkCookieSync(const GtkCookieSync&) = delete;
    GtkCookieSync& operator=(const GtkCookieSync&) = delete;

    // Adds net's cookies for `url` that WebKit lacks, then runs `ready`.
    void prepare(const std::string& url, std::function<void()> ready);
    // Stops carrying WebKit's changes over (WebKit's data is being cleared).
    void suspend() { m_suspended = true; }
    // Forgets what was read and carries changes over again.
    void reset();

    // WebKit's jar changed.
    void changed();

private:
    void read(std::function<void()> then = {});
    void addMissing(const std::string& url, std::function<void()> ready);
    void apply(std::vector<net::CookieStorage::Cookie> cookies, uint64_t generation);

    WebKitCookieManager* m_manager;
    unsigned long m_handler = 0;
    std::vector<net::CookieStorage::Cookie> m_known;
    bool m_readScheduled = false;
    bool m_suspended = false;
    uint64_t m_generation = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace web
