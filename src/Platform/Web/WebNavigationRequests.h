#pragma once

// The requests behind a web view's main-frame loads, and whether one is
// running. A request the app loads comes back, properties kept, when its
// navigation comes; one agreed to already (a new window loaded here) is not
// put to the delegate again; the requests navigations were allowed for wait
// by address until their load starts. The main frame's request is the one
// loading, else the one shown, and follows the page's address when the
// engine names it only once a link's load is under way. Owned by the web
// view.

#include "Platform/Core/URLRequest.h"
#include "Platform/Web/WebPageClient.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace web {

class WebNavigationRequests {
public:
    const std::optional<core::URLRequest>& request() const { return m_request; }
    bool isLoadActive() const { return m_loadActive; }

    // The app loads `request`, whose address the engine writes `address`;
    // `approved`: its navigation was agreed to already.
    void appLoads(std::string address, const core::URLRequest& request, bool approved);
    // The app loads HTML or data: no request of its own is coming.
    void forgetAppLoad() { m_appRequest.reset(); }
    // The request `navigation` is for (the app's own when it is that one)
    // and whether it was agreed to already.
    std::pair<core::URLRequest, bool> requestFor(const PageNavigation& navigation);
    void allow(const std::string& address, const core::URLRequest& request) { m_allowed[address] = request; }

    // The main frame's load began at `url`, or was redirected there: whether
    // a load started (false for a redirect of the running one).
    bool loadStarted(const std::string& url);
    // The running load finished or failed: whether one was running.
    bool loadEnded();
    // The load is given up: none runs, no allowed request waits.
    void stopLoad();
    // The page's address is `url` now; `normalized` writes an address as
    // the engine does.
    void pageAddressChanged(const std::string& url, const std::function<std::string(const std::string&)>& normalized);

private:
    // The main frame's request becomes the one allowed for `url`, else a
    // plain one for it.
    void take(const std::string& url);

    std::optional<core::URLRequest> m_request;
    // The app's last load, until its navigation comes: (engine's address, request).
    std::optional<std::pair<std::string, core::URLRequest>> m_appRequest;
    // A request whose navigation was agreed to already (a new window loaded here).
    std::optional<std::pair<std::string, core::URLRequest>> m_approved;
    // The requests navigations were allowed for, by address, until their load starts.
    std::map<std::string, core::URLRequest> m_allowed;
    bool m_loadActive = false;
};

} // namespace web
