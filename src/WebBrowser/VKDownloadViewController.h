#pragma once

// The downloads screen, presented over a folder list: one modal stack with
// two tabs in its toolbar, the shared web browser and the downloads list.
// It is where the browser's downloads go: it asks which folder a download
// goes to (the screen's folder, or one picked) and starts it through the
// download manager. The browser is one for every such screen; the screen
// remembers which tab showed last and the page the browser showed. The
// list's Open and Reveal show the file in the folder browser, which whoever
// made the screen hands over.

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "Shell/VKNavigationController.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/UI/ActionSheet.h"
#include "WebBrowser/VKDownloadHistoryController.h"
#include "WebBrowser/VKWebBrowserController.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKDownloadFileResource;
class VKFileResource;
class VKFolderBrowserServices;
class VKTabBarButton;

class VKDownloadViewController : public VKNavigationController,
                                 public VKWebBrowserControllerUIDelegate,
                                 public VKWebBrowserControllerDownloadDelegate,
                                 public VKDownloadHistoryControllerUIDelegate,
                                 public VKFolderPickerControllerDelegate,
                                 public ui::ActionSheetDelegate {
public:
    static constexpr const char* CurrentDownloadViewKey = "VKWebCurrentDownloadView";
    static constexpr const char* LastRequestKey = "VKWebBrowserHistoryLastRequest";
    static constexpr int BrowserView = 0;
    static constexpr int DownloadsView = 2;
    static constexpr int UseCurrentFolderButtonTag = 100;
    static constexpr int ChooseFolderButtonTag = 101;
    static constexpr const char* ShowWebBrowserAction = "showWebBrowser";
    static constexpr const char* ShowDownloadHistoryAction = "showDownloadHistory";
    static constexpr const char* CloseAction = "dismissModalViewControllerDelayed";

    // `browser` (held weakly) shows the files the list opens or reveals;
    // without it they only close the screen.
    static std::shared_ptr<VKDownloadViewController> initWithCurrentFolder(const std::shared_ptr<VKFileResource>& folder,
        std::weak_ptr<VKFolderBrowserServices> browser = {});
    VKDownloadViewController();
    ~VKDownloadViewController() override;

    // The browser every downloads screen shows, made on first use; a memory
    // warning lets it go.
    static std::shared_ptr<VKWebBrowserController> sharedWebBrowserController();
    static void releaseSharedWebBrowserController();

    const std::shared_ptr<VKFileResource>& currentFolder() const { return m_currentFolder; }
    void setCurrentFolder(std::shared_ptr<VKFileResource> folder) { m_currentFolder = std::move(folder); }
    // Made on first use, with this screen as their delegate.
    std::shared_ptr<VKWebBrowserController> webBrowserController();
    std::shared_ptr<VKDownloadHistoryController> downloadHistoryController();
    bool hasWebBrowserController() const { return m_webBrowserController != nullptr; }
    bool hasDownloadHistoryController() const { return m_downloadHistoryController != nullptr; }

    void showWebBrowser();
    void showDownloadHistory();
    bool isShowingWebBrowser() const;
    bool isShowingDownloadHistory() const;

    VKTabBarButton* browserButton() const { return m_browserButton.get(); }
    VKTabBarButton* downloadHistoryButton() const { return m_downloadHistoryButton.get(); }
    ui::BarButtonItem* backBarItem() const { return m_backBarItem.get(); }
    ui::BarButtonItem* forwardBarItem() const { return m_forwardBarItem.get(); }
    ui::BarButtonItem* bookmarksBarItem() const { return m_bookmarksBarItem.get(); }
    void updateDownloadBadgeCount();

    // The browser's page as a plain GET (no body, no credentials or
    // cookies), kept in the settings; and read back, or the search site's
    // start page when none (or no readable one) is kept.
    void storeLastWebRequest();
    static void storeLastWebRequest(const core::URLRequest& request);
    static core::URLRequest lastWebRequest();

    // Where a download goes.
    void promptForDownloadLocation(const core::URLRequest& request);
    std::shared_ptr<VKDownloadFileResource> startDownloadWithRequest(const core::URLRequest& request,
        const std::shared_ptr<VKFileResource>& folder);
    void showFolderPickerControllerForRequest(const core::URLRequest& request);

    void goBack();
    void goForward();
    void showBookmarks();
    // Lets the browser go and closes the screen on the next pass.
    void dismissModalViewControllerDelayed();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveMemoryWarning() override;

    // VKWebBrowserControllerUIDelegate
    void webBrowserControllerDidEnd(VKWebBrowserController& browser) override;
    void webBrowserControllerDidFinishLoad(VKWebBrowserController& browser) override;
    bool supportsUpdateBackForwardControls() const override { return true; }
    void webBrowserControllerUpdateBackForwardControls(VKWebBrowserController& browser) override;
    void webBrowserControllerWillAppear(VKWebBrowserController& browser) override;

    // VKWebBrowserControllerDownloadDelegate
    void webBrowserControllerHandleDownloadForRequest(VKWebBrowserController& browser,
        const core::URLRequest& request) override;
    void webBrowserControllerHandleDownloadForImageSource(VKWebBrowserController& browser,
        const std::string& source, const std::optional<std::string>& suggestedName) override;

    // VKDownloadHistoryControllerUIDelegate
    bool supportsOpenDownloadResource() const override { return true; }
    void downloadHistoryControllerOpenDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>& resource) override;
    bool supportsRevealDownloadResource() const override { return true; }
    void downloadHistoryControllerRevealDownloadResource(VKDownloadHistoryController&,
        const std::shared_ptr<VKFileResource>& resource) override;
    bool supportsWillAppear() const override { return true; }
    void downloadHistoryControllerWillAppear(VKDownloadHistoryController&) override;

    // VKFolderPickerControllerDelegate
    void folderPickerController(VKFolderPickerController& picker, const std::shared_ptr<VKFileResource>& folder) override;
    void didCancelFolderPickerController(VKFolderPickerController& picker) override;

    // The destination sheet.
    void clickedButton(ui::ActionSheet& sheet, int index) override;

private:
    std::shared_ptr<VKDownloadViewController> self();
    void buildToolbarItems();
    void clearBrowserDelegates();

    std::shared_ptr<VKFileResource> m_currentFolder;
    std::weak_ptr<VKFolderBrowserServices> m_browser;
    std::shared_ptr<VKWebBrowserController> m_webBrowserController;
    std::shared_ptr<VKDownloadHistoryController> m_downloadHistoryController;
    std::shared_ptr<ui::BarButtonItem> m_backBarItem;
    std::shared_ptr<ui::BarButtonItem> m_forwardBarItem;
    std::shared_ptr<ui::BarButtonItem> m_bookmarksBarItem;
    std::shared_ptr<VKTabBarButton> m_browserButton;
    std::shared_ptr<VKTabBarButton> m_downloadHistoryButton;
    std::vector<std::shared_ptr<ui::BarButtonItem>> m_toolbarItems;
    core::Observation m_downloadsObservation;
};
