#pragma once

// What a web view asks and tells its delegate. Every method is optional; the
// defaults load everything, show what the engine can show and let sign-ins
// take the stored credential once. All calls come on the main thread in a
// pass of their own, never from inside a call the delegate made.

#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Graphics/Geometry.h"

#include <memory>
#include <string>

namespace web {

class AuthenticationChallenge;
class WebPolicyListener;
class WebView;

// Why a navigation starts; the device's numbers.
enum class NavigationType {
    LinkClicked = 0,
    FormSubmitted = 1,
    BackForward = 2,
    Reload = 3,
    FormResubmitted = 4,
    // Redirects, frames, scripted loads and the app's own loads.
    Other = 5,
};

// What a long press (or a right click in the window) found: the link's
// address, an image's source and "alt" text (each empty when there is
// none), and where, in the web view's coordinates.
struct ElementInfo {
    std::string linkURL;
    std::string imageSource;
    std::string imageAlt;
    gfx::Point point;

    bool isEmpty() const { return linkURL.empty() && imageSource.empty(); }
    bool operator==(const ElementInfo&) const = default;
};

class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;

    // Asked for every navigation, frames, redirects and new windows included;
    // false drops it without a failure. A request the app loaded comes back
    // as it was given (its properties kept).
    virtual bool shouldStartLoad(WebView& view, const core::URLRequest& request, NavigationType type)
    {
        (void)view, (void)request, (void)type;
        return true;
    }
    // Per load of the main frame: didStartLoad, then exactly one of
    // didFinishLoad and didFailLoad. A load refused before the engine saw it
    // (a file outside the readable places, an unknown scheme) only fails.
    virtual void didStartLoad(WebView& view) { (void)view; }
    virtual void didFinishLoad(WebView& view) { (void)view; }
    virtual void didFailLoad(WebView& view, const core::Error& error) { (void)view, (void)error; }

    // Per response of the main frame: answer use() or ignore() on the
    // listener, now or later. Ignoring fails the load with
    // WebError::FrameLoadInterruptedByPolicyChange and stores nothing; the
    // engine never downloads by itself. A listener let go unanswered shows
    // what the engine can show and ignores the rest.
    virtual void decidePolicyForResponse(WebView& view, const core::HTTPURLResponse& response,
        const core::URLRequest& request, const std::shared_ptr<WebPolicyListener>& listener)
    {
        (void)view, (void)response, (void)request, (void)listener;
    }

    // A server asks for a user name and password: answer the challenge once,
    // any time later. A challenge let go unanswered uses its proposed
    // credential when nothing failed yet, else shows the server's refusal.
    virtual void didReceiveAuthenticationChallenge(WebView& view,
        const std::shared_ptr<AuthenticationChallenge>& challenge)
    {
        (void)view, (void)challenge;
    }
    // The load ended before the challenge was answered.
    virtual void didCancelAuthenticationChallenge(WebView& view,
        const std::shared_ptr<AuthenticationChallenge>& challenge)
    {
        (void)view, (void)challenge;
    }

    // A page opens a new window (a "_blank" link, window.open on a click),
    // after shouldStartLoad agreed: a view to load it in, or null to load it
    // in this one.
    virtual std::shared_ptr<WebView> createWebView(WebView& view, const core::URLRequest& request)
    {
        (void)view, (void)request;
        return nullptr;
    }

    // A long press on a link or an image. The engine's own menu never shows.
    virtual void elementActions(WebView& view, const ElementInfo& info) { (void)view, (void)info; }

    // A field of the page that takes typing gained (true) or lost the focus;
    // a new load loses it.
    virtual void didChangeEditingFocus(WebView& view, bool editing) { (void)view, (void)editing; }

    // An uncaught error of the page's scripts (also logged).
    virtual void didReportJavaScriptError(WebView& view, const std::string& message, const std::string& sourceURL,
        int line)
    {
        (void)view, (void)message, (void)sourceURL, (void)line;
    }
};

} // namespace web
