#pragma once

// WebKitGTK behind the web views: one ephemeral web context for the process
// (website data in memory only, no stored credentials, no file-URL cross
// access, no developer tools), web processes in bubblewrap's sandbox where it
// works, reading only the bundle's resources and the home. Its cookies are
// kept in step with net::CookieStorage, the one jar of record; certificates
// that chain to the URL loading options' CA file are accepted for their host
// (tests), any other failing one fails the load. Each page is a WebKit view
// in an offscreen window. GTK and WebKit stay in the .cpp files.

#include "Platform/Web/WebEngine.h"

#include <memory>
#include <string>

typedef struct _WebKitWebView WebKitWebView;

namespace web {

class GtkWebEngine : public WebEngine, public std::enable_shared_from_this<GtkWebEngine> {
public:
    // The process's engine, started with GTK on first use; null when no
    // display can be opened.
    static std::shared_ptr<GtkWebEngine> shared();
    // The engine if it was started.
    static std::shared_ptr<GtkWebEngine> existing();
    // A folder web processes may read too (before the engine starts).
    static void addReadablePathForTesting(const std::string& path);

    struct Private;
    explicit GtkWebEngine(const Private&);
    ~GtkWebEngine() override;

    // After the last page went, the context waits this long for the next
    // one before it is let go (its processes end with it).
    static constexpr double IdleContextSeconds = 45;

    std::shared_ptr<WebPage> makePage() override;
    std::string defaultUserAgent() const override;
    void clearWebsiteData(std::function<void()> done) override;
    bool isSandboxedForTesting() const;
    // Whether a context (and its processes) is alive.
    bool hasContextForTesting() const;
    // A page's view went (GtkWebPage's destructor).
    void pageDidClose(WebKitWebView* view);

    // The engine's state, for its pages (GtkWebEngineState.h).
    struct State;
    State& state() const { return *m_state; }

private:
    void startContext();
    void releaseContext();

    std::unique_ptr<State> m_state;
    unsigned m_idleGeneration = 0;
};

} // namespace web
