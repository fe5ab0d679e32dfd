#pragma once

#include "App/FolderBrowser/VKFolderBarItems.h"
#include "App/FolderBrowser/VKFolderScreenNews.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/TableViewController.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {
class BarButtonItem;
} // namespace ui
class VKFolderBrowserServices;
class VKFolderInfoLabel;

// The base of the folder browser's screens. Each screen owns the pieces of
// the bars that every folder screen shows (VKFolderBarItems: the
// server-state button, the folder-information label, the settings and help
// buttons, the progress item of the running operation) and its edit button
// (Cancel while an operation runs). A subclass builds its toolbar in
// updateToolbarItems (calling the base first), with the progress item in
// the middle while the browser's operation (VKBrowserOperation) runs and
// the folder information otherwise. Every screen follows the operation
// and the server's state (VKFolderScreenNews): news that reaches it on
// another thread is taken to the main thread, and a destroyed screen hears
// nothing.
class VKFolderControllerBase : public ui::TableViewController {
public:
    explicit VKFolderControllerBase(ui::TableView::Style style = ui::TableView::Style::Plain);
    ~VKFolderControllerBase() override;

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
    static constexpr const char* ShowServerInfoAction = VKFolderBarItems::ShowServerInfoAction;
    static constexpr const char* ShowSettingsAction = VKFolderBarItems::ShowSettingsAction;
    static constexpr const char* ShowHelpAction = VKFolderBarItems::ShowHelpAction;
    static constexpr float MaximumProgressItemWidth = VKFolderBarItems::MaximumProgressItemWidth;

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
    // The bar pieces (the server button, the folder information, settings,
    // help, the operation's progress), in the screen's control style.
    VKFolderBarItems& barItems() { return m_barItems; }
    const VKFolderBarItems& barItems() const { return m_barItems; }
    VKFolderInfoLabel* folderInfoLabel() const { return m_barItems.folderInfoLabel(); }

    // The operation's notifications, on the main thread. The top screen
    // shows a start at once; an end restores a screen that shows a
    // progress item (its toolbar on the next pass).
    virtual void backgroundOperationDidStart();
    virtual void backgroundOperationProgressDidUpdate(float progress);
    virtual void backgroundOperationDidEnd();

    // The first screen of its navigation stack.
    bool isRootViewController() const;
    // Dark images and dark grey labels (for light bars).
    virtual bool shouldUseDarkControlStyle() const { return false; }

private:
    std::weak_ptr<VKFolderBrowserServices> m_services;
    VKFolderBarItems m_barItems;
    std::vector<std::shared_ptr<ui::BarButtonItem>> m_editingToolbarItems;
    // Last: its observers close first as the screen goes.
    VKFolderScreenNews m_news;
};
