#include "WebBrowser/VKRegisterWebBrowser.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "App/FolderBrowser/VKFolderScreenFactories.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/UserDefaults.h"
#include "Viewers/Document/VKDocumentLinkHooks.h"
#include "WebBrowser/VKDownloadViewController.h"
#include "WebBrowser/VKWebBrowserController.h"

namespace {

// A document's "Open" on a link: the downloads screen on its Browser tab,
// over the viewer, downloading into the document's folder.
class WebBrowserLinkHooks : public VKDocumentLinkHooks {
public:
    explicit WebBrowserLinkHooks(std::weak_ptr<VKFolderBrowserServices> browser) : m_browser(std::move(browser)) {}

    void openLinkInBrowser(const core::URLRequest& request, const std::string& folder,
        ui::NavigationController& navigationController) override
    {
        auto screen = VKDownloadViewController::initWithCurrentFolder(VKFileResource::resourceWithPath(folder), m_browser);
        screen->showWebBrowser();
        navigationController.presentModalViewController(screen, true);
        screen->webBrowserController()->loadRequest(request);
    }
    bool isBrowserScreen(const ui::ViewController& controller) const override
    {
        return dynamic_cast<const VKDownloadViewController*>(&controller) != nullptr;
    }

private:
    std::weak_ptr<VKFolderBrowserServices> m_browser;
};

} // namespace

// History and bookmarks need no wiring: their stores start at first use.
// The search site comes from the bundle's Info.plist unless the user
// defaults name another. The folder lists get the download row and the
// downloads screen, the document viewers the browser for their links.
void VKRegisterWebBrowser(std::weak_ptr<VKFolderBrowserServices> browser)
{
    VKFolderTransferRows::registerCellFactory("VKDownloadFileResourceCell",
        [](const std::string& identifier) -> std::shared_ptr<VKFileResourceCell> {
            return VKDownloadFileResourceCell::create(identifier);
        });
    VKFolderScreenFactories::setDownloadScreenFactory(
        [](const std::shared_ptr<VKFileResource>& folder,
            std::weak_ptr<VKFolderBrowserServices> browser) -> std::shared_ptr<ui::ViewController> {
            return VKDownloadViewController::initWithCurrentFolder(folder, std::move(browser));
        });
    if (!VKDocumentLinkHooks::current())
        VKDocumentLinkHooks::setCurrent(std::make_shared<WebBrowserLinkHooks>(std::move(browser)));
    auto bundle = core::Bundle::main();
    if (!bundle)
        return;
    const core::Value& host = bundle->objectForInfoDictionaryKey(VKWebBrowserController::SearchHostKey);
    if (host.isString())
        core::UserDefaults::standard()->registerDefaults({ { VKWebBrowserController::SearchHostKey, host } });
}
