#pragma once

// The GTK engine's shared state as its pages use it. WebKit's types are
// only declared here; the files that use them include WebKit.

#include "Platform/Web/GtkWebEngine.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitSettings WebKitSettings;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitDownload WebKitDownload;
typedef struct _GTlsCertificate GTlsCertificate;
typedef struct _GTlsDatabase GTlsDatabase;

namespace web {

class GtkCookieSync;
class GtkWebPage;

struct GtkWebEngine::State {
    // The context and its cookie sync live while pages do: made for the
    // first page, let go IdleContextSeconds after the last one went, which
    // ends its web processes and its network process.
    WebKitWebContext* context = nullptr;
    std::unique_ptr<GtkCookieSync> cookies;
    bool sandboxed = false;
    std::vector<std::string> readablePaths;
    // Certificates accepted for a host, given to every context.
    std::vector<std::pair<std::string, GTlsCertificate*>> allowed;
    std::string userAgent;
    // The CA file the database was made from, and the database.
    std::string caFile;
    GTlsDatabase* database = nullptr;
    std::map<WebKitWebView*, std::weak_ptr<GtkWebPage>> pages;

    // New settings for a page: no developer tools, no file-URL cross access,
    // no windows opened without a click, no GPU compositing (pages are read
    // back as pictures). The caller owns them.
    WebKitSettings* makeSettings() const;
    // Whether `certificate` chains to the URL loading options' CA file for
    // `host`; then it is accepted for that host from now on.
    bool allowCertificate(GTlsCertificate* certificate, const std::string& host);
    // Accepts `certificate` for `host` in this context and those after it.
    void allowForHost(GTlsCertificate* certificate, const std::string& host);
    std::shared_ptr<GtkWebPage> pageOf(WebKitWebView* view) const;
};

} // namespace web
