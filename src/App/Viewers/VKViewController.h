#pragma once

// The base of every viewer, and the choice of viewer for a file.
//
// A viewer shows one file (its resource) that a folder screen opened. The
// base owns what all viewers share: the placeholder as the root view, the
// content view a subclass loads (usually off the main thread) with a
// delayed spinner meanwhile, the toolbar with guest mode's filter, the
// document sheet (e-mail, print, open in, the orientation lock), delete
// with confirmation, following the file when it is moved or deleted
// (through the folder screen, the server or the cloud mirror), holding the
// orientation while content loads, printing and open-in. It hides and shows its bars on a single tap (the full-screen
// base).
//
// A subclass supplies loadContentView, which starts loading and hands the
// content view to setContentView; it sets contentDidLoad and clears
// contentIsLoading when done, or calls showUnableToDisplayAlertView. It may
// add toolbar items, sheet buttons (calling the base first) and tags it
// handles (passing the others to the base), its per-document state, a print
// formatter, its title and its answers to the single tap.
//
// The viewer kinds register their factories at start-up; a kind nobody
// registered gets the stand-in VKFileInfoViewController, so the choice
// never answers nothing.

#include "App/Mail/VKEmailControllerDelegate.h"
#include "Shell/VKFullScreenViewController.h"
#include "App/Viewers/VKViewerCloudFetch.h"
#include "App/Viewers/VKViewerSpinner.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Color.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/ActivityIndicator.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct VKResourceMove;
namespace store {
struct ContextSave;
}
namespace ui {
class BarButtonItem;
class DocumentInteractionController;
class PrintFormatter;
class Window;
} // namespace ui
class VKActionSheet;
class VKAppOrientationLock;
class VKEmailController;
class VKFileResource;
class VKPlaceholderView;
class VKViewerFolderHost;

// Seconds after which a viewer's bars hide by themselves.
inline constexpr double VKUIHideDelay = 3.0;

// The kinds of viewer, in the order the choice tests them.
enum class VKViewerKind { Image, Movie, Audio, Text, PDF, Web };

class VKViewController : public VKFullScreenViewController,
                         public ui::ActionSheetDelegate,
                         public VKEmailControllerDelegate {
public:
    // Sheet tags: the document sheet and the delete confirmation.
    static constexpr int DocumentActionSheetTag = 1002;
    static constexpr int DeleteActionSheetTag = 1001;
    // Button tags of the document sheet.
    static constexpr int EmailFileButtonTag = 1001;
    static constexpr int OrientationLockButtonTag = 1002;
    static constexpr int OpenInButtonTag = 1011;
    static constexpr int PrintButtonTag = 1012;
    // The actions of the toolbar items guest mode knows.
    static constexpr const char* ShowDocumentActionSheetAction = "showDocumentActionSheet";
    static constexpr const char* DeleteItemAction = "deleteItem";
    static constexpr const char* AddBookmarkAction = "addBookmark";
    static constexpr const char* ShowBookmarksAction = "showBookmarks";

    using Factory = std::function<std::shared_ptr<VKViewController>(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController)>;

    // The viewer for a file, by its kind: an image; a movie; audio; text
    // that is not HTML; PDF; anything else in the web viewer. Never null.
    // The choice reads no file: a movie without a picture is handed to the
    // audio player by the movie viewer once its player has read the file.
    static std::shared_ptr<VKViewController> viewControllerWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);
    // The audio kind's viewer.
    static std::shared_ptr<VKViewController> audioPlayerControllerForResource(
        const std::shared_ptr<VKFileResource>& resource, const std::shared_ptr<VKViewerFolderHost>& folderController);
    // Each kind's factory (an empty one unregisters it).
    static void setViewerFactory(VKViewerKind kind, Factory factory);
    // Forgets the factories (tests).
    static void resetRegistrationsForTesting();

    VKViewController();
    ~VKViewController() override;

    // The designated initialiser, called by every viewer's factory right
    // after making it: keeps both, takes the resource's title and starts
    // following the file.
    virtual void initWithResource(const std::shared_ptr<VKFileResource>& resource,
        const std::shared_ptr<VKViewerFolderHost>& folderController);

    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    // Only a change counts: it retitles the viewer and moves the progress
    // observation of a cloud file to the new one.
    virtual void setResource(const std::shared_ptr<VKFileResource>& resource);
    const std::shared_ptr<VKViewerFolderHost>& folderController() const { return m_folderController; }
    // The lock the document sheet switches, handed over by whoever opens
    // the viewer (held weakly).
    void setOrientationLock(std::weak_ptr<VKAppOrientationLock> lock) { m_orientationLock = std::move(lock); }
    const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
    // Fills the root view and resizes with it; contentViewDidLoad follows.
    void setContentView(const std::shared_ptr<ui::View>& view);
    virtual void setContentLoading(bool loading) { m_contentLoading = loading; }
    bool contentIsLoading() const { return m_contentLoading; }
    void setContentDidLoad(bool loaded) { m_contentDidLoad = loaded; }
    bool contentDidLoad() const { return m_contentDidLoad; }
    bool toolbarModal() const { return m_toolbarModal; }
    void setToolbarModal(bool modal) { m_toolbarModal = modal; }
    // The orientation held while content loads.
    ui::Orientation currentInterfaceOrientation() const { return m_currentInterfaceOrientation; }

    // The single tap waits for content; it hides the bars only over loaded
    // content.
    bool shouldBegin(ui::GestureRecognizer& recognizer) override;
    bool shouldSingleTapShowUI() const override { return true; }
    bool shouldSingleTapHideUI() const override { return m_contentDidLoad && !m_contentLoading; }

    // Following the file: the item at `path` is about to go; an item moved
    // (a move without both paths changes nothing).
    virtual void resourceWillBeDeleted(const std::string& path);
    virtual void resourceDidMove(const VKResourceMove& move);
    void cloudFileStoreDidSave(const store::ContextSave& save);

    std::shared_ptr<ui::BarButtonItem> findBarButtonItemWithAction(std::string_view action) const;
    // The file's name, without its extension unless "VKDisplayFileExtensions"
    // is set; empty without a file.
    virtual void setTitleFromResource();

    // E-mail.
    bool isSendingEmail() const;
    virtual void emailFile(const std::shared_ptr<core::Object>& sender);
    void composeEmailWithPath(const std::string& path, const std::string& name);
    void emailController(VKEmailController& controller, bool success, const core::Error* error) override;
    const std::shared_ptr<VKEmailController>& emailController() const { return m_emailController; }

    // Flips the orientation lock; the bars hide VKUIHideDelay later.
    void toggleOrientationLock(const std::shared_ptr<core::Object>& sender);

    // Sheets.
    void clickedButton(ui::ActionSheet& sheet, int index) override;
    void didDismiss(ui::ActionSheet& sheet, int index) override;
    virtual void showDocumentActionSheet(const std::shared_ptr<core::Object>& sender);
    virtual void actionSheetClickedButtonWithTag(VKActionSheet& sheet, int tag);
    virtual void addButtonsToActionSheet(VKActionSheet& sheet);
    void deleteItem(const std::shared_ptr<core::Object>& sender);

    virtual std::optional<gfx::Color> preferredBackgroundColor() const { return std::nullopt; }
    // The per-document state (offsets, zoom...) into the file settings.
    virtual void storePersistentState() { }

    // Rotation: while content loads only the held orientation.
    void didRotate(ui::Orientation fromOrientation) override;
    void willRotate(ui::Orientation orientation, double duration) override;
    bool shouldAutorotate(ui::Orientation orientation) override;
    // Ctrl+W closes the viewer, as its Back button does.
    bool performKeyCommand(ui::KeyCommand command) override;

    void viewWillDisappear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;
    void viewDidLoad() override;
    void loadView() override;

    // "Unable to display "<name>"", with why when the load gave a reason:
    // the file could not be opened (permission denied, no such file, a link
    // that loops, not a regular file).
    void showUnableToDisplayAlertView(const core::Error& error = {});
    VKPlaceholderView* placeholderView();
    ui::Application::StatusBarStyle statusBarStyle() const override;
    // In guest mode without delete; without guest actions also without the
    // document sheet and the bookmarks.
    void setToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items, bool animated = false) override;
    virtual std::vector<std::shared_ptr<ui::BarButtonItem>> createToolbarItems() { return {}; }
    virtual void contentViewDidLoad() { }
    // What each viewer supplies: starts loading its content.
    virtual void loadContentView() = 0;
    // The window of the presented screen while one is up, else the stack's.
    ui::Window* window();
    // Stores the state; the dictionary itself is empty.
    virtual core::Value currentStateDictionary();
    virtual void restoreStateFromDictionary(const core::Value& state) { (void)state; }

    // A file in a cloud mirror: shown at once when the stored copy is whole
    // (a package never is), else fetched while the placeholder tells the
    // progress ("Loading 5 MB", the bar, Cancel). Each notification counts
    // only when its local path is the viewer's file. Viewers that stream or
    // show pictures extend or replace these.
    virtual void startCloudFileFetch() { m_cloudFetch.start(); }
    virtual void cloudFileFetchWillStartDownload(const core::Notification& notification)
    {
        m_cloudFetch.willStartDownload(notification);
    }
    // Loads the content once; over a shown progress display it fades in
    // and the display goes when the fade ends.
    virtual void cloudFileFetchDidComplete(const core::Notification& notification)
    {
        m_cloudFetch.didComplete(notification);
    }
    // "Download Failed" with Cancel, so the user can leave.
    virtual void cloudFileFetchFailed(const core::Notification& notification) { m_cloudFetch.failed(notification); }
    virtual void showCloudDownloadProgressView() { m_cloudFetch.showProgress(); }
    // The bar and Cancel; the label too once there is content.
    virtual void hideCloudDownloadProgressView() { m_cloudFetch.hideProgress(); }
    // Stops the fetch and pops the viewer.
    virtual void cancelCloudFileFetch(const std::shared_ptr<core::Object>&) { m_cloudFetch.cancel(); }

    // Toolbar: every item with an action; the others keep their state.
    virtual void setToolbarItemsEnabled(bool enabled);

    // The spinner, centred, in the content view once there is one. A
    // request while it spins is ignored; stop also cancels a pending start.
    void stopActivityIndicator() { m_spinner.stop(); }
    void startActivityIndicatorWithStyle(ui::ActivityIndicator::Style style, double delay);
    ui::ActivityIndicator* activityIndicator() const { return m_spinner.indicator(); }

    // Printing: by file URL (a PDF, an image) or by the subclass's
    // formatter, while printing is available.
    void printFile(const std::shared_ptr<core::Object>& sender);
    virtual std::shared_ptr<ui::PrintFormatter> printFormatter() { return nullptr; }
    bool canPrint();

    // Open in: made on first use where another application takes files,
    // shown at the document sheet's toolbar item.
    std::shared_ptr<ui::DocumentInteractionController> openInController();
    void openIn(const std::shared_ptr<core::Object>& sender);

private:
    // The modal screen of the stack (or of this viewer) while one is up.
    ui::ViewController* presentedController();

    VKViewerSpinner m_spinner;
    VKViewerCloudFetch m_cloudFetch { *this };
    bool m_contentLoading = false;
    bool m_contentDidLoad = false;
    std::shared_ptr<ui::DocumentInteractionController> m_openInController;
    std::shared_ptr<VKEmailController> m_emailController;
    ui::Orientation m_currentInterfaceOrientation = ui::Orientation::Portrait;
    bool m_toolbarModal = false;
    std::shared_ptr<ui::View> m_contentView;
    std::shared_ptr<VKFileResource> m_resource;
    std::shared_ptr<VKViewerFolderHost> m_folderController;
    std::weak_ptr<VKAppOrientationLock> m_orientationLock;

    std::vector<core::Observation> m_observations;
};
