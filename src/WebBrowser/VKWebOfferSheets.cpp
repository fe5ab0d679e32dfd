#include "WebBrowser/VKWebOfferSheets.h"

#include "Kit/MIMETypes.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/NavigationController.h"
#include "Shell/Interface/VKActionSheet.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"

namespace {

// The request an offer's sheet carries to its choice.
class OfferedRequest : public core::Object {
public:
    explicit OfferedRequest(core::URLRequest request) : request(std::move(request)) { }
    core::URLRequest request;
};

} // namespace

const std::set<std::string>& VKWebOfferSheets::theStandardWebMIMETypes()
{
    static const std::set<std::string> types { "text/html", "application/xhtml+xml", "image/gif", "image/jpg",
        "image/jpeg", "image/png", "image/tiff" };
    return types;
}

std::string VKWebOfferSheets::effectiveMIMEType(const std::string& mimeType, const core::URL& url)
{
    if (mimeType != "text/html")
        return mimeType;
    std::string name = core::path::lastPathComponent(url.path());
    if (core::path::pathExtension(name).empty())
        return mimeType;
    // A server that calls every file a page is overruled by the file's name.
    std::string byName = MIMEGetTypeForExtension(name);
    return byName.find('/') != std::string::npos ? byName : mimeType;
}

bool VKWebOfferSheets::shows(const core::HTTPURLResponse& response, const core::URLRequest& request,
    VKWebBrowserView* webView)
{
    std::string type = effectiveMIMEType(response.mimeType(), request.url());
    // The engine hands back the page's request without the app's marks: the
    // load the web view runs carries them.
    bool open = VKWebBrowserController::isOpenRequest(request)
        || (webView && webView->isLoading() && webView->request()
            && VKWebBrowserController::isOpenRequest(*webView->request()));
    return theStandardWebMIMETypes().count(type) || open;
}

void VKWebOfferSheets::offerResponse(const core::URLRequest& request)
{
    ui::View* host = m_browser.navigationController() ? m_browser.navigationController()->view().get()
                                                      : m_browser.view().get();
    if (!host || !host->window()) {
        core::log("VKWebBrowserController: no window to offer {} in", request.url().absoluteString());
        return;
    }
    auto sheet = VKActionSheet::create(request.url().absoluteString(),
        m_browser.sharedAs<ui::ActionSheetDelegate>(), core::localized("Cancel"), std::nullopt,
        { core::localized("Open"), core::localized("Download") });
    sheet->setTag(VKWebBrowserController::MIMETypeSheetTag);
    sheet->setUserInfo(core::Value(std::make_shared<OfferedRequest>(request)));
    sheet->showInView(*host);
}

void VKWebOfferSheets::clickedButton(ui::ActionSheet& sheet, int index)
{
    if (sheet.tag() == VKWebBrowserController::LinkSheetTag)
        linkSheetClickedButton(m_browser, sheet, index);
    else if (sheet.tag() == VKWebBrowserController::MIMETypeSheetTag)
        MIMETypeSheetClickedButton(m_browser, sheet, index);
}

void VKWebOfferSheets::MIMETypeSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index)
{
    auto* offer = dynamic_cast<VKActionSheet*>(&sheet);
    auto offered = offer ? offer->userInfo().objectAs<OfferedRequest>() : nullptr;
    if (!offered)
        return;
    if (index == sheet.cancelButtonIndex()) {
        browser.handleWebViewLoadEndWithSuccess(false);
    } else if (index == 0) {
        core::URLRequest request = offered->request;
        VKWebBrowserController::setMutableRequestIsOpen(request);
        // The resource is asked for again as the page's own, not as a
        // link from the page that offered it.
        if (request.header("Referer"))
            request.setHeader("Referer", "");
        browser.loadRequest(request);
    } else if (index == 1) {
        browser.startDownloadWithRequest(offered->request);
    }
}

void VKWebOfferSheets::linkSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index)
{
    auto url = core::URL::parse(sheet.title());
    bool download = index >= 0 && index < sheet.numberOfButtons()
        && sheet.buttonTitle(index) == core::localized("Download");
    bool handled = false;
    if (index == 0 && url) {
        core::URLRequest request(*url);
        VKWebBrowserController::setMutableRequestIsOpen(request);
        browser.loadRequest(request);
        handled = true;
    } else if (download) {
        if (url)
            browser.startDownloadWithRequest(core::URLRequest(*url));
        else
            core::log("Warning, nil URL for download: {}", sheet.title());
        handled = true;
    }
    if (browser.webView())
        browser.webView()->actOnBrowserSheet(handled ? sheet.cancelButtonIndex() : index);
}
