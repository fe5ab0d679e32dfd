#pragma once

#include "WebBrowser/VKWebAuthenticationController.h"

#include <deque>
#include <memory>

namespace core {
class Timer;
}
namespace web {
class AuthenticationChallenge;
}
class VKWebBrowserController;

// The browser's sign-ins: what answers a site's question for a name and
// password. A stored credential answers the first question of a load, the
// sixth failure goes on without one, anything else gets the authentication
// sheet in a navigation controller, presented from the deepest screen over
// the browser (half a second later while one is up or a transition runs).
// One sheet at a time: challenges that come while a sheet is shown or on
// its way wait in arrival order; when it goes, the waiting ones the
// session's credentials now answer are answered and the next gets its
// sheet. It also owns the browser's one delayed presentation. The browser
// holds it as a member: the sheet reaches it through a pointer that shares
// the browser.
class VKWebSignIns : public VKWebAuthenticationControllerDelegate {
public:
    explicit VKWebSignIns(VKWebBrowserController& browser) : m_browser(browser) { }
    ~VKWebSignIns() override;

    void challengeReceived(const std::shared_ptr<web::AuthenticationChallenge>& challenge);
    // The engine dropped `challenge`: it no longer waits.
    void challengeCancelled(const std::shared_ptr<web::AuthenticationChallenge>& challenge);
    // Takes the sheet (and only it) off the screen; the next waiting
    // challenge then gets its own.
    void dismissSheet();
    std::shared_ptr<VKWebAuthenticationController> sheet() const { return m_sheet.lock(); }
    // Presents `controller` after `delay` from the deepest screen presented
    // over the browser then; a later call replaces an earlier one.
    void presentAfterDelay(const std::shared_ptr<ui::ViewController>& controller, double delay);

    // The authentication sheet.
    void webAuthenticationControllerDidEnd(VKWebAuthenticationController& sheet) override;
    void webAuthenticationControllerDidCancel(VKWebAuthenticationController& sheet) override;

private:
    // Shows the sheet for `challenge`, `delayed` by the browser's
    // AuthenticationPresentDelay.
    void presentSheet(const std::shared_ptr<web::AuthenticationChallenge>& challenge, bool delayed);
    // Answers the waiting challenges that the session's credentials answer
    // now, then shows the sheet of the next one.
    void answerNextWaitingChallenge();

    VKWebBrowserController& m_browser;
    std::shared_ptr<core::Timer> m_presentTimer;
    std::weak_ptr<VKWebAuthenticationController> m_sheet;
    std::deque<std::shared_ptr<web::AuthenticationChallenge>> m_waiting;
};
