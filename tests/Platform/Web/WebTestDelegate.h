#pragma once

// A web view delegate for tests: records every call in order, as lines
// ("shouldStartLoad 5 http://…", "didFinishLoad", "didFailLoad -999 …"),
// and answers as the test sets it up.

#include "Platform/Web/AuthenticationChallenge.h"
#include "Platform/Web/WebPolicyListener.h"
#include "Platform/Web/WebView.h"
#include "Platform/Web/WebViewDelegate.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace test {

class WebTestDelegate : public web::WebViewDelegate {
public:
    std::vector<std::string> calls;
    std::vector<core::URLRequest> requests;
    std::vector<web::NavigationType> types;
    std::vector<core::Error> failures;
    std::vector<std::shared_ptr<web::WebPolicyListener>> listeners;
    std::vector<core::HTTPURLResponse> responses;
    std::vector<std::shared_ptr<web::AuthenticationChallenge>> challenges;
    std::vector<web::ElementInfo> elements;

    // Answers to shouldStartLoad: refuse addresses containing this text.
    std::string refuse;
    // Keep the response listeners (else they are let go unanswered).
    bool keepListeners = false;
    // What to do with a challenge as it comes (nothing: let it go).
    std::function<void(web::AuthenticationChallenge&)> onChallenge;
    bool keepChallenges = false;
    std::function<std::shared_ptr<web::WebView>(const core::URLRequest&)> onCreate;

    bool shouldStartLoad(web::WebView&, const core::URLRequest& request, web::NavigationType type) override
    {
        requests.push_back(request);
        types.push_back(type);
        calls.push_back("shouldStartLoad " + std::to_string(int(type)) + " " + request.url().absoluteString());
        return refuse.empty() || request.url().absoluteString().find(refuse) == std::string::npos;
    }
    void didStartLoad(web::WebView&) override { calls.push_back("didStartLoad"); }
    void didFinishLoad(web::WebView&) override { calls.push_back("didFinishLoad"); }
    void didChangeEditingFocus(web::WebView&, bool editing) override
    {
        calls.push_back(editing ? "didChangeEditingFocus on" : "didChangeEditingFocus off");
    }
    void didFailLoad(web::WebView&, const core::Error& error) override
    {
        failures.push_back(error);
        calls.push_back("didFailLoad " + std::to_string(error.code()));
    }
    void decidePolicyForResponse(web::WebView&, const core::HTTPURLResponse& response, const core::URLRequest&,
        const std::shared_ptr<web::WebPolicyListener>& listener) override
    {
        responses.push_back(response);
        calls.push_back("decidePolicyForResponse " + response.mimeType());
        if (keepListeners)
            listeners.push_back(listener);
    }
    void didReceiveAuthenticationChallenge(web::WebView&,
        const std::shared_ptr<web::AuthenticationChallenge>& challenge) override
    {
        calls.push_back("didReceiveAuthenticationChallenge " + challenge->protectionSpace().realm + " "
            + std::to_string(challenge->previousFailureCount()));
        if (keepChallenges)
            challenges.push_back(challenge);
        if (onChallenge)
            onChallenge(*challenge);
    }
    void didCancelAuthenticationChallenge(web::WebView&, const std::shared_ptr<web::AuthenticationChallenge>&) override
    {
        calls.push_back("didCancelAuthenticationChallenge");
    }
    std::shared_ptr<web::WebView> createWebView(web::WebView&, const core::URLRequest& request) override
    {
        calls.push_back("createWebView " + request.url().absoluteString());
        return onCreate ? onCreate(request) : nullptr;
    }
    void elementActions(web::WebView&, const web::ElementInfo& info) override
    {
        elements.push_back(info);
        calls.push_back("elementActions " + info.linkURL + " " + info.imageSource);
    }
    void didReportJavaScriptError(web::WebView&, const std::string& message, const std::string& source, int line) override
    {
        calls.push_back("didReportJavaScriptError " + message + " " + source + ":" + std::to_string(line));
    }

    bool saw(std::string_view prefix) const
    {
        for (const auto& call : calls)
            if (call.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
    size_t count(std::string_view prefix) const
    {
        size_t n = 0;
        for (const auto& call : calls)
            n += call.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

} // namespace test
