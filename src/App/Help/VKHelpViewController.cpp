#include "App/Help/VKHelpViewController.h"

#include "App/Help/VKHelpController.h"
#include "App/Mail/VKMailComposeViewController.h"
#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "App/VKAppServerState.h"
#include "FileModel/VKFileResource.h"
#include "HTTP/HTTPServer.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/Web/WebView.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace {

void setNetworkActivityIndicatorVisible(bool visible)
{
    if (auto* application = ui::Application::shared())
        application->setNetworkActivityIndicatorVisible(visible);
}

} // namespace

std::shared_ptr<VKHelpViewController> VKHelpViewController::initWithHelpResource(std::shared_ptr<VKFileResource> resource)
{
    auto controller = std::make_shared<VKHelpViewController>();
    controller->m_resource = std::move(resource);
    return controller;
}

std::string VKHelpViewController::metadataScript(std::string_view bundleIdentifier)
{
    return fmt::format("help.setTandryMetadata(\"{}\", true)", vkStringByEscapingJavaScriptString(bundleIdentifier));
}

std::string VKHelpViewController::serverURLScript(std::string_view hostURL, std::string_view bonjourURL)
{
    if (!hostURL.empty())
        return fmt::format("help.setTandryURL('{}', '{}', '')", vkStringByEscapingJavaScriptString(hostURL),
            vkStringByEscapingJavaScriptString(bonjourURL));
    std::string note = fmt::format("({})", core::localized("No WiFi Connection", "Help"));
    return fmt::format("help.setTandryURL('', '', '{}')", vkStringByEscapingJavaScriptString(note));
}

web::WebView* VKHelpViewController::webView()
{
    const auto& subviews = view()->subviews();
    return subviews.empty() ? nullptr : dynamic_cast<web::WebView*>(subviews.front().get());
}

void VKHelpViewController::loadView()
{
    gfx::Rect frame;
    if (auto* application = ui::Application::shared())
        frame = application->applicationFrame();
    auto root = ui::View::create(frame);
    root->setBackgroundColor(colorWithHexString(BackgroundColor, 1).value_or(gfx::Color::white(0.85f)));
    root->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto page = web::WebView::create(root->bounds());
    page->setScalesPageToFit(true);
    page->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    page->setHidden(true);
    page->setDelegate(std::static_pointer_cast<web::WebViewDelegate>(sharedAs<VKHelpViewController>()));
    root->addSubview(page);
    setView(root);
}

void VKHelpViewController::viewDidLoad()
{
    VKNonRotatingViewController::viewDidLoad();
    setNetworkActivityIndicatorVisible(true);
    if (m_resource)
        webView()->loadRequest(core::URLRequest(m_resource->fileURL()));
}

void VKHelpViewController::viewWillDisappear(bool animated)
{
    VKNonRotatingViewController::viewWillDisappear(animated);
    if (auto* page = webView())
        page->stopLoading();
    setNetworkActivityIndicatorVisible(false);
}

void VKHelpViewController::didFinishLoad(web::WebView& view)
{
    setNetworkActivityIndicatorVisible(false);
    std::string host;
    std::string bonjour;
    auto state = m_server.lock();
    if (auto server = state ? state->httpServer() : nullptr) {
        if (auto url = server->hostURL())
            host = url->absoluteString();
        if (auto url = server->bonjourURL())
            bonjour = url->absoluteString();
    }
    // Nobody waits for the answers: the page shows once the scripts ran.
    auto logFailure = [](const std::string&, const core::Error* error) {
        if (error)
            core::log("Warning, help page script failed: {}", error->localizedDescription());
    };
    view.evaluateJavaScript(metadataScript(core::Bundle::main()->bundleIdentifier()), logFailure);
    view.evaluateJavaScript(serverURLScript(host, bonjour), logFailure);
    std::weak_ptr<web::WebView> weakView = std::static_pointer_cast<web::WebView>(view.shared_from_this());
    core::RunLoop::main().performAfter(ShowDelay, [weakView] {
        if (auto shown = weakView.lock())
            shown->setHidden(false);
    });
}

void VKHelpViewController::didFailLoad(web::WebView&, const core::Error& error)
{
    setNetworkActivityIndicatorVisible(false);
    // Leaving the page cancels its load: nothing went wrong then.
    if (error.code() != net::URLError::Cancelled)
        core::log("Warning, help page failed to load: {}", error.localizedDescription());
}

bool VKHelpViewController::shouldStartLoad(web::WebView&, const core::URLRequest& request, web::NavigationType)
{
    const core::URL& url = request.url();
    std::string scheme = url.scheme();
    std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (scheme == "mailto") {
        composeMailTo(url);
        return false;
    }
    if (isAppleRegisteredURL(url)) {
        if (auto* application = ui::Application::shared())
            application->openURL(url);
        return false;
    }
    if (auto* navigation = navigationController(); navigation && !navigation->viewControllers().empty()) {
        auto* root = dynamic_cast<VKHelpController*>(navigation->viewControllers().front().get());
        if (auto title = root ? root->localizedTitleForPath(url.path()) : std::nullopt)
            setTitle(*title);
    }
    return true;
}

void VKHelpViewController::composeMailTo(const core::URL& url)
{
    auto composer = VKMailComposeViewController::create();
    std::string address = url.path();
    if (!address.empty())
        composer->setToRecipients({ address });
    composer->setSubject(fmt::format(fmt::runtime(core::localized("{} Support", "Help")),
        VKMainBundleDisplayName().value_or("Tandry")));
    composer->setMailComposeDelegate(std::static_pointer_cast<ui::MailComposeControllerDelegate>(
        sharedAs<VKHelpViewController>()));
    composer->setModalPresentationStyle(ui::ViewController::PresentationStyle::FormSheet);
    presentModalViewController(composer, true);
}

void VKHelpViewController::didFinish(ui::MailComposeController& controller, int result, const core::Error*)
{
    auto keep = controller.shared_from_this();
    controller.dismissModalViewController(true);
    if (result == ui::MailComposeController::Failed)
        showAlertViewWithMessage(core::localized("Send Failed"), core::localized("OK"));
}
