#pragma once

// One help page in a web view. The page's scripts learn the application's
// identifier and the server's addresses (the Wi-Fi one and the announced
// one), so that the page can tell how to connect; the page shows only once
// it has them. Its links open other help pages in place (the page takes
// their title), a mail composer for "mailto:", and the system for the
// addresses the system's own applications handle.

#include "Shell/Interface/VKNonRotatingViewController.h"
#include "Platform/UI/MailComposeController.h"
#include "Platform/Web/WebViewDelegate.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class VKAppServerState;
class VKFileResource;
namespace web {
class WebView;
}

class VKHelpViewController : public VKNonRotatingViewController,
                             public web::WebViewDelegate,
                             public ui::MailComposeControllerDelegate {
public:
    // How long after the load the page shows (its scripts have run by then).
    static constexpr double ShowDelay = 0.25;
    static constexpr const char* BackgroundColor = "#d3dbe6";

    static std::shared_ptr<VKHelpViewController> initWithHelpResource(std::shared_ptr<VKFileResource> resource);

    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    web::WebView* webView();
    // Where the server is, asked after each load (held weakly).
    void setServerState(std::weak_ptr<VKAppServerState> server) { m_server = std::move(server); }

    // The two calls the page gets after each load, in this order. Every
    // value goes in escaped as the contents of a quoted string.
    static std::string metadataScript(std::string_view bundleIdentifier);
    // With a host address: both addresses (the announced one may be empty)
    // and no note; without one, two empty addresses and "(No WiFi
    // Connection)".
    static std::string serverURLScript(std::string_view hostURL, std::string_view bonjourURL);

    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear(bool animated) override;

    bool shouldStartLoad(web::WebView& view, const core::URLRequest& request, web::NavigationType type) override;
    void didFinishLoad(web::WebView& view) override;
    void didFailLoad(web::WebView& view, const core::Error& error) override;
    void didFinish(ui::MailComposeController& controller, int result, const core::Error* error) override;

private:
    void composeMailTo(const core::URL& url);

    std::shared_ptr<VKFileResource> m_resource;
    std::weak_ptr<VKAppServerState> m_server;
};
