#pragma once

#include "App/FolderBrowser/VKFolderCommandsHost.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/AlertView.h"
#include "Shell/Interface/VKPopupAlert.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKActionSheet;
class VKFileResource;
class VKFolderMedia;
class VKFolderMoveCopy;
class VKFolderNaming;
class VKFolderOperations;
class VKFolderSharing;

// What the folder screen's editing toolbar and More menu do: their buttons,
// the menu, and the one dispatcher of their actions and of every sheet,
// alert and prompt the screen shows. The work is done by the commands'
// parts: names (VKFolderNaming), e-mail and open-in (VKFolderSharing), the
// questions before a move or copy (VKFolderMoveCopy), the long operations
// (VKFolderOperations) and media in and out (VKFolderMedia).
//
// A screen whose edits go elsewhere (a cloud folder's, through its service)
// gives the screen a subclass: the virtual members below are the points it
// changes. The screen is the host, held weakly.
class VKFolderCommands : public core::Object,
                         public ui::ActionSheetDelegate,
                         public ui::AlertViewDelegate,
                         public VKPopupAlertDelegate {
public:
    using Host = VKFolderCommandsHost;

    // What a sheet, alert or prompt of the folder screen was shown as, by its
    // tag (TagAdditions.h); the cloud screen's sync sheet is one of them.
    enum class Sheet : int {
        EditActionMenu = 3001,
        Extension = 3002,
        LongTouch = 3003,
        SyncConfirmation = 3004,
        MoveToCloud = 3005,
        Overwrite = 1020,
        DeleteConfirmation = 1021,
        Unzip = 1022,
        DeleteFolder = 1023,
    };
    enum class Alert : int { EmailSize = 1024, HiddenName = 1025 };
    enum class Prompt : int { Rename = 1003, NewFolder = 1011, UnzipPassword = 1012 };

    // What the menu's and the long touch's buttons run (their tags), and
    // what a confirming sheet or alert runs (actionConfirmedBy).
    enum class EditAction : int {
        SelectAll = 1001,
        SelectNone = 1002,
        Rename = 1003,
        Uncompress = 1004,
        Delete = 1005,
        Compress = 1006,
        // The extension sheet's buttons.
        KeepExtension = 1007,
        ChangeExtension = 1008,
        ImportMedia = 1009,
        SaveToPhotosAlbum = 1010,
        OpenIn = 1014,
        Open = 1015,
        Reveal = 1016,
        Email = 1017,
        // The cloud screen's sync commands.
        SyncFolder = 1018,
        SyncMarkedItems = 1019,
        // The user info is a DestinationChoice.
        PerformWithDestination = 1020,
        DeleteNoConfirmation = 1021,
        UnzipResource = 1022,
        MoveToTrash = 1023,
        EmailResources = 1024,
    };
    // What an overwrite sheet carries: the move or copy (its action's name)
    // that runs on to the destination when confirmed.
    struct DestinationChoice : core::Object {
        DestinationChoice(std::string action, core::Value destination)
            : action(std::move(action)), destination(std::move(destination)) { }
        std::string action;
        core::Value destination;
    };
    // What an extension sheet carries: the item and the name asked for.
    struct ExtensionChoice : core::Object {
        ExtensionChoice(std::shared_ptr<VKFileResource> resource, std::string name)
            : resource(std::move(resource)), name(std::move(name)) { }
        std::shared_ptr<VKFileResource> resource;
        std::string name;
    };

    // What the confirming button of a sheet or an alert runs, if anything.
    static std::optional<EditAction> actionConfirmedBy(Sheet sheet);
    static std::optional<EditAction> actionConfirmedBy(Alert alert);

    // The editing toolbar's actions.
    static constexpr const char* DeleteMarkedItemsAction = "deleteMarkedItems";
    static constexpr const char* MoveMarkedItemsAction = "moveMarkedItems";
    static constexpr const char* CopyMarkedItemsAction = "copyMarkedItems";
    static constexpr const char* EmailMarkedItemsAction = "emailMarkedItems";
    static constexpr const char* ShowEditActionMenuAction = VKFolderEditing::MenuAction;
    static constexpr const char* RenameMarkedItemAction = VKFolderEditing::RenameAction;
    static constexpr const char* SyncFolderAction = VKFolderEditing::SyncAction;
    // The cloud screens' bar item that downloads the marked items.
    static constexpr const char* DownloadMarkedItemsAction = "downloadMarkedItems";

    static std::shared_ptr<VKFolderCommands> create();
    VKFolderCommands();
    ~VKFolderCommands() override;
    // A host that is made before it can be referred to weakly comes later.
    bool hasHost() const { return !m_host.expired(); }
    void setHost(std::weak_ptr<Host> host);
    VKFolderOperations& operations() const { return *m_operations; }

    // The editing toolbar's buttons: Delete, Move, Copy, Email and More.
    virtual std::vector<VKFolderEditing::Button> toolbarButtons();

    // ---- The menu and the dispatcher ----
    virtual void showEditActionMenu(const std::shared_ptr<core::Object>& sender);
    // The menu's end: Select None (something marked) or Select All (rows
    // listed), Cancel, and the sheet shown from the sender.
    void finishEditActionMenu(VKActionSheet& sheet, const std::shared_ptr<core::Object>& sender);
    // Runs an action; one the screen does not offer does nothing.
    virtual void handleAction(EditAction action, const core::Value& userInfo);
    void clickedButton(ui::ActionSheet& sheet, int index) override;
    void clickedButton(ui::AlertView& alert, int index) override;
    void popupAlert(VKPopupAlert& alert, int index) override;

    // ---- What the toolbar, the menu and the dispatcher run ----
    // Each is one point a screen's own commands may change (a cloud
    // folder's run their edits on the service), or a test may watch.
    // Delete: refuses locked items and items that cannot go, then asks.
    virtual void deleteMarkedItems(const std::shared_ptr<core::Object>& sender);
    virtual void deleteMarkedItemsNoConfirmation();
    virtual void emailMarkedItems(const std::shared_ptr<core::Object>& sender);
    virtual void emailResources(const std::vector<std::shared_ptr<VKFileResource>>& resources);
    virtual void openIn(const std::shared_ptr<core::Object>& sender);
    virtual void createNewFolder(const std::shared_ptr<core::Object>& sender);
    virtual void renameMarkedItem(const std::shared_ptr<core::Object>& sender);
    // Where a folder is made and an item renamed, once the name was checked.
    virtual void createNewFolderAtPath(const std::string& path);
    virtual void renameResourceNoConfirmation(const std::shared_ptr<VKFileResource>& resource, const std::string& name);
    virtual void moveMarkedItems(const std::shared_ptr<core::Object>& sender);
    virtual void copyMarkedItems(const std::shared_ptr<core::Object>& sender);
    // EditAction::PerformWithDestination: runs the action named `action`
    // (VKFolderMoveCopy's selectors) with the destination.
    virtual void performActionWithDestination(const std::string& action, const core::Value& destination);
    // The sheet tagged Sheet::MoveToCloud.
    virtual void moveToCloudSheetClickedButton(VKActionSheet& sheet, int index);
    virtual void zipMarkedItems(const std::shared_ptr<core::Object>& sender);
    virtual void unzipMarkedItem(const std::shared_ptr<core::Object>& sender);
    // Asks for the password of an encrypted archive, then expands it.
    virtual void unzipResource(const std::shared_ptr<VKFileResource>& resource, const std::optional<std::string>& password);
    // The popup tagged Prompt::UnzipPassword.
    virtual void unzipPasswordPromptClickedButton(VKPopupAlert& alert, int index);
    // Moves one item to the trash through the screen and, when it stays,
    // says why in an alert: `lockedMessage` (localized here) when it is
    // locked, "Failed to delete" otherwise. True when it went.
    bool moveToTrash(const std::shared_ptr<VKFileResource>& resource, const char* lockedMessage);
    virtual void importMedia(const std::shared_ptr<core::Object>& sender);
    virtual void copyMarkedItemsToSavedPhotosAlbum(const std::shared_ptr<core::Object>& sender);

    // ---- The parts ----
    VKFolderNaming& naming() const { return *m_naming; }
    VKFolderMedia& media() const { return *m_media; }
    VKFolderSharing& sharing() const { return *m_sharing; }
    VKFolderMoveCopy& moveCopy() const { return *m_moveCopy; }
    // A screen's own kind of move and copy (made with these commands).
    void setMoveCopy(std::shared_ptr<VKFolderMoveCopy> moveCopy);

    // ---- For the parts ----
    std::shared_ptr<Host> host() const { return m_host.lock(); }
    // The host's screen as the sender of notifications; null once it went.
    std::shared_ptr<core::Object> screenObject() const;
    std::vector<std::shared_ptr<VKFileResource>> markedResources() const;
    // Leaves editing on the screen.
    void endEditing() const;
    // Closes the screen's sheets and shows this one for it from `item`.
    void showSheet(VKActionSheet& sheet, const std::shared_ptr<core::Object>& item) const;
    template<class Delegate>
    std::shared_ptr<Delegate> selfAs()
    {
        return std::static_pointer_cast<Delegate>(std::static_pointer_cast<VKFolderCommands>(shared_from_this()));
    }

protected:
    // Sends a button's action to these commands (kept weakly) as `method`.
    template<class Commands>
    std::function<void(const std::shared_ptr<core::Object>&)> sendTo(
        void (Commands::*method)(const std::shared_ptr<core::Object>&))
    {
        return [weak = std::weak_ptr<Commands>(selfAs<Commands>()), method](const std::shared_ptr<core::Object>& sender) {
            if (auto commands = weak.lock())
                ((*commands).*method)(sender);
        };
    }

private:
    std::weak_ptr<Host> m_host;
    const std::shared_ptr<VKFolderOperations> m_operations;
    const std::unique_ptr<VKFolderNaming> m_naming;
    const std::shared_ptr<VKFolderSharing> m_sharing;
    const std::shared_ptr<VKFolderMedia> m_media;
    std::shared_ptr<VKFolderMoveCopy> m_moveCopy;
};
