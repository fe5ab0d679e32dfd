#include "WebBrowser/VKWebLoadFailure.h"

#include "Kit/CSRegex.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/ErrorInfo.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/CredentialStorage.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/ServerCertificate.h"
#include "Platform/Web/WebError.h"
#include "Shell/VKNavigationController.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebCertificateController.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebNavigationView.h"

namespace {

// The prefix of the search host that marks its own addresses ("www.example.").
std::string searchHostPrefix()
{
    auto defaults = core::UserDefaults::standard();
    std::string host = core::ascii::lowercased(defaults->stringForKey(VKWebBrowserController::SearchHostKey));
    if (auto url = core::URL::parse("http://" + host))
        host = url->host();
    size_t dot = host.rfind('.');
    return dot == std::string::npos ? host : host.substr(0, dot + 1);
}

// The certificate sheet over the browser; Continue trusts the certificate
// for its host and loads the failed address again.
void showCertificate(VKWebBrowserController& browser, web::ServerCertificate certificate, const core::URL& failing)
{
    std::weak_ptr<VKWebBrowserController> weak = std::static_pointer_cast<VKWebBrowserController>(browser.shared_from_this());
    std::string host = certificate.host;
    auto sheet = VKWebCertificateController::create(std::move(certificate), [weak, host, failing](bool trust) {
        auto browser = weak.lock();
        if (browser && trust && browser->webView() && browser->webView()->trustServerCertificate(host))
            browser->loadRequest(core::URLRequest(failing));
    });
    browser.presenter().presentModalViewController(VKNavigationController::create(sheet), true);
}

} // namespace

bool VKWebLoadFailure::isSameAddress(const core::URL& a, const core::URL& b)
{
    if (a == b)
        return true;
    auto path = [](const core::URL& url) {
        std::string escaped = url.escapedPath();
        return escaped.empty() ? std::string("/") : escaped;
    };
    auto port = [](const core::URL& url) {
        return url.port().value_or(net::CredentialStorage::defaultPort(core::ascii::lowercased(url.scheme())));
    };
    return core::ascii::equalIgnoringCase(a.scheme(), b.scheme()) && core::ascii::equalIgnoringCase(a.host(), b.host())
        && port(a) == port(b) && path(a) == path(b) && a.hasQuery() == b.hasQuery() && a.query() == b.query();
}

void VKWebLoadFailure::answer(VKWebBrowserController& browser, const core::Error& error)
{
    const auto& canonical = browser.canonicalRequest();
    std::optional<core::URL> failing;
    if (auto address = core::errorInfo::failingURL(error))
        failing = core::URL::parse(*address);

    ui::ViewController* visible = browser.visibleController();
    bool covered = visible != &browser;
    bool urlDomain = error.domain() == net::URLErrorDomain;
    if (browser.didCancelLoad() || covered || (urlDomain && error.code() == net::URLError::Cancelled)
        || (canonical && failing && !isSameAddress(*failing, canonical->url()))) {
        browser.handleWebViewLoadEndWithSuccess(false);
        return;
    }

    if (urlDomain && error.code() == net::URLError::CannotFindHost && failing) {
        std::string host = failing->host();
        bool hasDomain = matchedByPattern(host, "\\.[a-z]{2,}$", CSRegex::IgnoreCase);
        if (!hasDomain && failing->path().size() < 2 && !failing->port() && failing->query().empty()) {
            // A single word: the same scheme and host with ".com", once.
            if (auto retry = core::URL::parse(failing->scheme() + "://" + host + ".com")) {
                browser.loadRequest(core::URLRequest(*retry));
                return;
            }
        } else {
            std::string prefix = searchHostPrefix();
            if (!(!prefix.empty() && core::ascii::lowercased(host).starts_with(prefix))
                && browser.performWebSearchWithText(browser.navigationView()->locationField().text()))
                return;
        }
    }

    if (urlDomain && error.code() == net::URLError::ServerCertificateUntrusted && failing) {
        if (auto certificate = web::ServerCertificate::fromError(error)) {
            showCertificate(browser, std::move(*certificate), *failing);
            browser.handleWebViewLoadEndWithSuccess(false);
            return;
        }
    }

    std::string title;
    std::optional<std::string> message;
    if (urlDomain || error.domain() == web::WebError::Domain) {
        title = failing ? failing->host() : std::string();
        if (canonical && VKWebBrowserController::isOpenRequest(*canonical)) {
            if (error.code() == web::WebError::CannotShowMIMEType) {
                message = core::localized("Failed to open URL", "WebBrowser");
            } else if (error.code() == web::WebError::FrameLoadInterruptedByPolicyChange) {
                return;
            } else {
                browser.handleWebViewLoadEndWithSuccess(false);
                return;
            }
        } else if (error.code() == web::WebError::FrameLoadInterruptedByPolicyChange) {
            message = core::localized("Page load failed", "WebBrowser");
        } else {
            message = error.localizedDescription();
        }
    } else {
        title = core::localized("Load Error", "WebBrowser");
        message = error.localizedDescription();
    }
    if (message)
        VKWebBrowserController::showAlert(title, *message);
    browser.handleWebViewLoadEndWithSuccess(false);
}
