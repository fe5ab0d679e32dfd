#pragma once

// What an engine's page reports to the web view that owns it. The page
// always calls on a later pass of the main loop than the call or the engine
// event that caused it, never from inside the engine, so the view may do
// anything here, its own end included.

#include "Platform/Core/Error.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Web/PageMessage.h"
#include "Platform/Web/WebViewDelegate.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace web {

class AuthenticationChallenge;
class WebSnapshot;

// The page's own state, read by the view's accessors.
struct PageState {
    std::string url;
    std::string title;
    bool loading = false;
    double progress = 0;
    bool canGoBack = false;
    bool canGoForward = false;

    bool operator==(const PageState&) const = default;
};

// A navigation waiting for the view's answer (WebPage::answerNavigation).
struct PageNavigation {
    uint64_t decision = 0;
    core::URLRequest request;
    NavigationType type = NavigationType::Other;
    bool isRedirect = false;
    // A new window ("_blank", window.open): loaded here or in a created view.
    bool isNewWindow = false;
};

// A main-frame response waiting for the view's answer (WebPage::answerResponse).
struct PageResponse {
    uint64_t decision = 0;
    core::HTTPURLResponse response;
    core::URLRequest request;
    // Whether the engine can show it (its type, not an attachment).
    bool canShow = false;
};

// A page's script dialog, shown as an alert and answered once.
struct PageDialog {
    enum class Kind { Alert, Confirm, Prompt, BeforeUnload };
    Kind kind = Kind::Alert;
    std::string message;
    std::string defaultText;
    // (confirmed, text); a dialog never answered is closed as refused.
    std::function<void(bool confirmed, const std::string& text)> answer;
};

class WebPageClient {
public:
    virtual ~WebPageClient() = default;

    virtual void pageNavigation(const PageNavigation& navigation) = 0;
    // The main frame's load began (url: its address) or was redirected.
    virtual void pageDidStartLoad(const std::string& url) = 0;
    virtual void pageDidFinishLoad() = 0;
    virtual void pageDidFailLoad(const core::Error& error) = 0;
    virtual void pageResponse(const PageResponse& response) = 0;
    virtual void pageChallenge(const std::shared_ptr<AuthenticationChallenge>& challenge) = 0;
    virtual void pageChallengeCancelled(const std::shared_ptr<AuthenticationChallenge>& challenge) = 0;
    virtual void pageStateChanged(const PageState& state) = 0;
    virtual void pageMetrics(const PageMetrics& metrics) = 0;
    virtual void pageSnapshot(const std::shared_ptr<const WebSnapshot>& snapshot) = 0;
    // A right click in the window on a link or an image.
    virtual void pageElementActions(const ElementInfo& info) = 0;
    virtual void pageScriptError(const PageScriptError& error) = 0;
    virtual void pageDialog(PageDialog dialog) = 0;
    virtual void pageEditingFocus(bool editing) { (void)editing; }
};

} // namespace web
