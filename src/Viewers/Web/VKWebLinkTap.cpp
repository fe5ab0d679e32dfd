#include "Viewers/Web/VKWebLinkTap.h"

#include "Viewers/Web/VKWebViewController.h"

#include "Platform/Core/RunLoop.h"

#include <fmt/format.h>

void VKWebLinkTap::ask(VKWebView& webView, gfx::Point inWebView, gfx::Point inView)
{
    // The page's elementFromPoint takes the point in its viewport, so the
    // tap is taken where it is on the web view, not in its scrolled content,
    // and scaled by the page itself to its own width: one question, one
    // answer.
    unsigned generation = ++m_generation;
    bool uiWasHidden = m_viewer.isUIHidden();
    // Set once the timeout took the tap as hitting no link.
    auto decided = std::make_shared<bool>(false);
    std::weak_ptr<VKWebViewController> weak = m_viewer.sharedAs<VKWebViewController>();
    core::RunLoop::main().performAfter(m_viewer.sharedAs<VKWebViewController>(), VKWebViewController::TapScriptTimeout, [generation, inView, decided](VKWebViewController& self) {
        if (self.m_linkTap.m_generation != generation)
            return;
        *decided = true;
        self.continueSingleTap(inView);
    });
    float width = webView.bounds().width();
    std::string script = fmt::format("VKFindAnchorAtPoint({0:f}*window.innerWidth/{2:f},{1:f}*window.innerWidth/{2:f});",
        inWebView.x, inWebView.y, width);
    webView.evaluateJavaScript(script,
        [weak, generation, inView, uiWasHidden, decided](const std::string& answer, const core::Error* error) {
            auto self = weak.lock();
            if (!self || self->m_linkTap.m_generation != generation)
                return;
            ++self->m_linkTap.m_generation;
            bool overLink = !error && answer == "true";
            if (!*decided) {
                if (!overLink)
                    self->continueSingleTap(inView);
                return;
            }
            // A busy page answered after the timeout: the page followed
            // the link, so the bars go back to what they were.
            if (overLink)
                self->restoreUIAfterLateLinkAnswer(uiWasHidden);
        });
}
