#include "WebBrowser/VKWebSignIns.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "Shell/VKNavigationController.h"
#include "WebBrowser/VKWebBrowserController.h"

#include <algorithm>
#include <vector>

namespace {

// The screen to present over: the deepest one presented over the browser's
// stack (presenting from a screen that presents one already would throw).
ui::ViewController& deepestPresenter(VKWebBrowserController& browser)
{
    ui::ViewController* deepest = &browser.presenter();
    while (deepest->modalViewController())
        deepest = deepest->modalViewController();
    return *deepest;
}

} // namespace

VKWebSignIns::~VKWebSignIns()
{
    if (m_presentTimer)
        m_presentTimer->invalidate();
}

void VKWebSignIns::challengeReceived(const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    if (challenge->previousFailureCount() >= VKWebBrowserController::MaximumAuthenticationFailures) {
        challenge->continueWithoutCredential();
        return;
    }
    const auto& proposed = challenge->proposedCredential();
    if (proposed && !proposed->password.empty() && challenge->previousFailureCount() == 0) {
        challenge->useCredential(*proposed, web::AuthenticationChallenge::Persistence::ForSession);
        return;
    }
    // A sheet shown or on its way keeps its challenge: this one waits.
    if (!m_sheet.expired()) {
        m_waiting.push_back(challenge);
        return;
    }
    presentSheet(challenge, m_browser.presenter().modalViewController() || m_browser.viewTransitionActive());
}

void VKWebSignIns::challengeCancelled(const std::shared_ptr<web::AuthenticationChallenge>& challenge)
{
    std::erase(m_waiting, challenge);
}

void VKWebSignIns::presentSheet(const std::shared_ptr<web::AuthenticationChallenge>& challenge, bool delayed)
{
    auto sheet = VKWebAuthenticationController::initWithAuthenticationChallenge(challenge,
        m_browser.sharing(*this));
    m_sheet = sheet;
    auto navigation = VKNavigationController::create(sheet);
    if (delayed)
        presentAfterDelay(navigation, VKWebBrowserController::AuthenticationPresentDelay);
    else
        m_browser.presenter().presentModalViewController(navigation, true);
}

void VKWebSignIns::answerNextWaitingChallenge()
{
    if (!m_sheet.expired())
        return;
    // What the sheet before stored answers the waiting challenges of its
    // place that nothing failed for yet; the engine's dropped ones go.
    std::vector<std::pair<std::shared_ptr<web::AuthenticationChallenge>, web::AuthenticationChallenge::Credential>> answered;
    std::erase_if(m_waiting, [&](const std::shared_ptr<web::AuthenticationChallenge>& challenge) {
        if (challenge->isAnswered() || challenge->isCancelled())
            return true;
        if (challenge->previousFailureCount() != 0)
            return false;
        auto stored = net::CredentialStorage::shared().credential(
            web::AuthenticationChallenge::storageSpace(challenge->protectionSpace()));
        if (!stored || stored->password.empty())
            return false;
        answered.emplace_back(challenge, *stored);
        return true;
    });
    for (const auto& [challenge, credential] : answered)
        challenge->useCredential(credential, web::AuthenticationChallenge::Persistence::ForSession);
    if (!m_sheet.expired())
        return;
    if (m_waiting.empty())
        return;
    auto next = m_waiting.front();
    m_waiting.pop_front();
    // The sheet before is still on its way out.
    presentSheet(next, true);
}

void VKWebSignIns::dismissSheet()
{
    if (m_presentTimer)
        m_presentTimer->invalidate();
    auto sheet = m_sheet.lock();
    m_sheet.reset();
    if (sheet) {
        // Only the sheet goes: a screen it was presented over (the
        // bookmarks) stays.
        ui::ViewController* shown = sheet->navigationController()
            ? static_cast<ui::ViewController*>(sheet->navigationController())
            : sheet.get();
        if (shown->presentingViewController() && !shown->modalViewController())
            shown->dismissModalViewController(true);
    }
    answerNextWaitingChallenge();
}

void VKWebSignIns::presentAfterDelay(const std::shared_ptr<ui::ViewController>& controller, double delay)
{
    if (m_presentTimer)
        m_presentTimer->invalidate();
    std::weak_ptr<core::Object> browser = m_browser.weak_from_this();
    m_presentTimer = core::RunLoop::main().schedule(delay, false, [this, browser, controller](core::Timer&) {
        auto keep = browser.lock();
        if (!keep)
            return;
        m_presentTimer.reset();
        if (!controller->presentingViewController())
            deepestPresenter(m_browser).presentModalViewController(controller, true);
    });
}

void VKWebSignIns::webAuthenticationControllerDidEnd(VKWebAuthenticationController& sheet)
{
    auto keep = m_browser.shared_from_this();
    if (const auto& challenge = sheet.challenge())
        challenge->useCredential({ sheet.username(), sheet.password() },
            web::AuthenticationChallenge::Persistence::ForSession);
    m_sheet = std::static_pointer_cast<VKWebAuthenticationController>(sheet.shared_from_this());
    dismissSheet();
}

void VKWebSignIns::webAuthenticationControllerDidCancel(VKWebAuthenticationController& sheet)
{
    auto keep = m_browser.shared_from_this();
    m_browser.setDidCancelLoad(true);
    if (const auto& challenge = sheet.challenge())
        challenge->cancel();
    m_sheet = std::static_pointer_cast<VKWebAuthenticationController>(sheet.shared_from_this());
    dismissSheet();
}
