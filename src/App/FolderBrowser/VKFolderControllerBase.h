#pragma once

#include "FileModel/VKFileOperation.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/TableViewController.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class BarButtonItem;
class Button;
} // namespace ui
class VKFolderBrowserServices;
class VKFolderInfoLabel;
class VKOperationProgressView;

// Posted without an object: a class-wide operation started; its progress or
// indeterminate flag changed (user info "progress", a number, posted on the
// thread that set it); it ended (0.1 seconds after the end, on the main
// thread).
inline constexpr const char* VKFolderControllerOperationDidStartNotification =
    "VKFolderControllerOperationDidStartNotification";
inline constexpr const char* VKFolderControllerOperationProgressNotification =
    "VKFolderControllerOperationProgressNotification";
inline constexpr const char* VKFolderControllerOperationDidEndNotification =
    "VKFolderControllerOperationDidEndNotification";

// The base of the folder browser's screens, and the one long operation the
// whole browser runs at a time (a copy, zip, unzip, import or cloud
// operation started from any folder screen). The operation is process-wide
// state behind one mutex, shared by every folder screen class: each screen
// follows it through the three notifications.
//
// Each start yields a run identity. A worker keeps the identity of the run
// it works for: it counts as cancelled once that run was cancelled or
// replaced by a newer one, and its end touches only its own run, so a
// cancelled worker that runs on cannot end or feed the next operation.
//
// Each screen owns the pieces of the bars that every folder screen shows:
// the server-state button, the folder-information label, the settings and
// help buttons, the progress item of the running operation and the edit
// button (Cancel while an operation runs). A subclass builds its toolbar
// in updateToolbarItems (calling the base first), with the progress item
// in the middle while isOperationInProgress() and the folder information
// otherwise. Every screen follows the operation through the three
// notifications, and the server's state through the network, the server
// and the quota index rebuild; work that reaches it on another thread is
// taken to the main thread, and a destroyed screen hears nothing.
class VKFolderControllerBase : public ui::TableViewController {
public:
    using Run = uint64_t;
    // No run: what a refused start answers.
    static constexpr Run NoRun = 0;

    explicit VKFolderControllerBase(ui::TableView::Style style = ui::TableView::Style::Plain);
    ~VKFolderControllerBase() override;

    // Main thread. Starts the operation (progress 0, not cancelled) and posts
    // DidStart before returning. While another runs the start is refused
    // (logged) and NoRun answered: the running one stays as it is.
    static Run startOperationWithLabel(const std::string& label, bool indeterminate);
    // Makes the operation the current file operation with the process-wide
    // delegate, starts the class-wide operation with its label and flag,
    // and runs it. A refused operation is not run.
    static Run startFileOperation(const std::shared_ptr<VKFileOperation>& operation);

    static bool isOperationInProgress();
    static std::string operationLabel();
    static bool isOperationIndeterminate();
    static std::shared_ptr<VKFileOperation> fileOperation();
    // The run started last (still current after its end, until the next start).
    static Run currentRun();

    // Any thread. Whether the current operation was cancelled; the flag
    // stays until the next start.
    static bool isOperationCancelled();
    // Whether the given run was cancelled or replaced by a newer one.
    static bool isOperationCancelled(Run run);
    static float operationProgress();

    // Main thread; posts nothing.
    static void setOperationLabel(const std::string& label);
    // Any thread. Stores the value clamped to [0, 1] (NaN as 0) and posts
    // Progress on the calling thread. With a run, only while it is current.
    static void setOperationProgress(float progress);
    static void setOperationProgress(float progress, Run run);
    // Main thread. Posts Progress only when the flag changes.
    static void setIsOperationIndeterminate(bool indeterminate);

    // With a file operation, whether it may be cancelled; without, true
    // unless the cloud layer has uploads running.
    static bool canCancelCurrentOperation();
    // Main thread. Marks the run cancelled, detaches and cancels the file
    // operation, and ends the run. Nothing while idle.
    static void cancelOperation();
    // Any thread. Clears the operation and lets the file operation go;
    // DidEnd follows 0.1 seconds later on the main thread. Nothing while
    // idle; with a run, nothing unless it is the current one.
    static void endOperation();
    static void endOperation(Run run);

    // The delegate every file operation started here gets: progress goes to
    // the class-wide operation; the end is taken on the main thread, ends
    // the operation's run and shows a failure (not a background time-out)
    // in a "Warning" alert.
    static std::shared_ptr<VKFileOperationDelegate> fileOperationDelegate();

    // Forgets the operation (the test environment).
    static void resetOperationForTesting();

    // ---- One screen ----------------------------------------------------

    // What the screen asks of the application (its stack, the server's
    // state, the screens the toolbar opens). Whoever makes the screen hands
    // it over, and the screen hands it on to the screens it makes; held
    // weakly, as the application owns the stack that owns the screen.
    std::shared_ptr<VKFolderBrowserServices> services() const { return m_services.lock(); }
    void setServices(std::weak_ptr<VKFolderBrowserServices> services);
    // A guest uses the program (the services say so; none: no guest).
    bool isGuest() const;

    // The actions the bar items send.
    static constexpr const char* ToggleEditingAction = "toggleEditing";
    static constexpr const char* CancelCurrentOperationAction = "cancelCurrentOperation";
    static constexpr const char* ShowServerInfoAction = "showServerInfo";
    static constexpr const char* ShowSettingsAction = "showSettings";
    static constexpr const char* ShowHelpAction = "showHelp";
    // The server-state button's side.
    static constexpr float ServerStateButtonSize = 28;
    // The progress item is as wide as the progress view's standard size,
    // or as its text needs up to this.
    static constexpr float MaximumProgressItemWidth = 150;

    // The toolbar shown while editing (the editing screens build it).
    const std::vector<std::shared_ptr<ui::BarButtonItem>>& editingToolbarItems() const { return m_editingToolbarItems; }
    void setEditingToolbarItems(std::vector<std::shared_ptr<ui::BarButtonItem>> items);

    void viewDidLoad() override;
    void viewDidUnload() override;
    // Rebuilds the toolbar when it does not show the operation as it is
    // now, puts up the edit button and shows the bars in the browser's
    // colours, the orientation unlocked.
    void viewWillAppear(bool animated) override;
    // Any orientation, unless a presented screen says otherwise.
    bool shouldAutorotate(ui::Orientation orientation) override;
    void didRotate(ui::Orientation fromOrientation) override;

    // Puts editButtonItem() up as the right item; a guest gets none.
    void updateEditButton();
    // A new item each call: "Cancel" while an operation runs (enabled when
    // it may be cancelled), "Done" while editing, else the Action item.
    std::shared_ptr<ui::BarButtonItem> editButtonItem() override;
    // Starts or ends editing; the editing screens do more.
    virtual void toggleEditing(const std::shared_ptr<core::Object>& sender);
    void cancelCurrentOperation(const std::shared_ptr<core::Object>& sender);
    // The first item of the toolbar shown (the editing one while editing)
    // that stands for the action, custom buttons included.
    std::shared_ptr<ui::BarButtonItem> findBarButtonItemWithAction(std::string_view action) const;

    // Subclasses build their toolbar here, calling the base first: it lets
    // go of a progress item that no longer shows the running operation and
    // refreshes the server's image.
    virtual void updateToolbarItems();
    // The network, the server or the quota index rebuild changed.
    virtual void networkOrServerStatusDidChange(const core::Notification* notification);
    void updateServerStateImage();
    // The labels' colours: white, or dark grey with the dark style.
    void updateToolbarItemsAppearanceForCurrentOrientation();

    // The operation's notifications, on the main thread. The top screen
    // shows a start at once; an end restores a screen that shows a
    // progress item (its toolbar on the next pass).
    virtual void backgroundOperationDidStart();
    virtual void backgroundOperationProgressDidUpdate(float progress);
    virtual void backgroundOperationDidEnd();

    // The operation's progress view as a bar item, made when missing (for
    // the running operation) and showing its progress.
    std::shared_ptr<ui::BarButtonItem> operationProgressViewBarButtonItem();
    VKOperationProgressView* operationProgressView() const;
    // New each call, sized to their images.
    std::shared_ptr<ui::BarButtonItem> settingsBarButtonItem();
    std::shared_ptr<ui::BarButtonItem> helpBarButtonItem();
    std::shared_ptr<gfx::Image> settingsBarButtonImage() const;
    std::shared_ptr<gfx::Image> helpBarButtonImage() const;
    // Made once; the button tells about the server.
    std::shared_ptr<ui::BarButtonItem> serverStateBarButtonItem();
    ui::Button* serverStateButton() const;
    // Made once.
    std::shared_ptr<ui::BarButtonItem> folderInfoBarButtonItem();
    VKFolderInfoLabel* folderInfoLabel() const;

    // The first screen of its navigation stack.
    bool isRootViewController() const;
    // Dark images and dark grey labels (for light bars).
    virtual bool shouldUseDarkControlStyle() const { return false; }
    // The bar labels' colours for the style in use.
    void applyAppearance(ui::Label& label) const;

private:
    // Runs `handler` on the main thread with the screen, while it lives:
    // at once when called there, else on a later pass.
    void deliver(std::function<void(VKFolderControllerBase&)> handler);

    std::weak_ptr<VKFolderBrowserServices> m_services;
    std::shared_ptr<ui::BarButtonItem> m_serverStateItem;
    std::shared_ptr<ui::BarButtonItem> m_folderInfoItem;
    std::shared_ptr<ui::BarButtonItem> m_progressItem;
    // The run the progress item was made for.
    Run m_progressItemRun = NoRun;
    std::vector<std::shared_ptr<ui::BarButtonItem>> m_editingToolbarItems;
    // Lives as long as the screen: work handed to the main thread checks it
    // before it touches the screen.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
    std::vector<core::Observation> m_observations;
};
