#pragma once

// The engine's side of one web view: a page that loads, runs scripts, is
// scrolled, zoomed, tapped and printed, and answers the navigations and
// responses it put to its client. Every report goes to the client on a later
// pass of the main loop (deliver()). Made by a WebEngine; main thread only.

#include "Platform/Core/Data.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/Web/WebPageClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace web {

class WebViewPlacement;

class WebPage : public std::enable_shared_from_this<WebPage> {
public:
    using ScriptCompletion = std::function<void(const std::string& result, const core::Error* error)>;
    using ElementCompletion = std::function<void(const ElementInfo& info)>;
    using PrintCompletion = std::function<void(const core::Error* error)>;

    virtual ~WebPage();

    void setClient(std::weak_ptr<WebPageClient> client) { m_client = std::move(client); }

    // Loads. `baseURL` may be empty (about:blank).
    virtual void loadRequest(const core::URLRequest& request) = 0;
    virtual void loadHTML(const std::string& html, const std::string& baseURL) = 0;
    virtual void loadData(const core::Data& data, const std::string& mimeType, const std::string& textEncodingName,
        const std::string& baseURL) = 0;
    virtual void stopLoading() = 0;
    virtual void reload() = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    // What the engine makes of an address the app loads (its normal form),
    // so the navigation it starts can be matched with the app's request.
    virtual std::string normalizedURL(const std::string& url) const { return url; }

    virtual void answerNavigation(uint64_t decision, bool allow) = 0;
    virtual void answerResponse(uint64_t decision, bool use) = 0;

    // The page's main script world; the result is String() of the value
    // ("" for undefined and null).
    virtual void evaluateJavaScript(const std::string& script, ScriptCompletion completion) = 0;

    // The view's size in points and the scale it is drawn at; the zoom of
    // the page (CSS pixels to points).
    virtual void setGeometry(gfx::Size size, float scale) = 0;
    virtual void setPageZoom(double zoom) = 0;
    // Scrolls the page to a place in CSS pixels.
    virtual void scrollTo(gfx::Point offset, std::function<void()> done) = 0;
    // A tap at a point of the view (press and release of the primary button).
    virtual void tap(gfx::Point point) = 0;
    // What is under a point of the view.
    virtual void elementAt(gfx::Point point, ElementCompletion completion) = 0;
    // Takes a new picture now; `done` runs once the client has it (or none
    // could be taken).
    virtual void updateSnapshot(std::function<void()> done) = 0;

    virtual void printToPDF(const std::string& path, PrintCompletion completion) = 0;

    virtual std::string defaultUserAgent() const = 0;
    virtual void setUserAgent(const std::string& userAgent) = 0;

    // Limits what the page and its frames, pictures, scripts and styles may
    // read from file URLs to these folders (absolute paths; none: no limit).
    // Loads asked for before the limit is in force wait for it.
    virtual void setFileFolders(const std::optional<std::vector<std::string>>& folders) = 0;

    // The live window (WebViewPlacement): moves the page's widget in or back
    // to its offscreen home, keeping page, history and scroll place. False
    // when this engine has no widget.
    virtual bool attach(const std::shared_ptr<WebViewPlacement>& placement)
    {
        (void)placement;
        return false;
    }
    virtual void detach() { }
    // Trusts, for `host`, the certificate the last load here failed on
    // (its failure carried a ServerCertificate); whether there was one.
    virtual bool trustServerCertificate(const std::string& host)
    {
        (void)host;
        return false;
    }

protected:
    // Runs `report` with the client on a later pass of the main loop, in
    // order, unless the client is gone by then.
    void deliver(std::function<void(WebPageClient&)> report);

private:
    std::weak_ptr<WebPageClient> m_client;
};

} // namespace web
