#pragma once

#include "App/FolderBrowser/VKFolderPickerController.h"
#include "Platform/Core/Object.h"

#include <cstdint>
#include <memory>
#include <string>

class VKActionSheet;
class VKFileResource;
class VKFolderCommands;

namespace core {
class Value;
}

// Moving and copying the marked items into a folder picked in the folder
// picker: locks and the supported operations are checked before the picker
// opens, a picked folder is routed (another cloud service is asked about
// first, names already there are asked about, a copy must fit) and the
// items go to the commands' operations, or to one upload into a cloud
// folder. The sheets report to the commands' dispatcher.
//
// A cloud folder's commands give it their own kind, whose edits stay inside
// the service or download out of it: the virtual members are the points it
// changes.
class VKFolderMoveCopy : public core::Object, public VKFolderPickerControllerDelegate {
public:
    // What the picker's pick and the overwrite sheet run, by name.
    static constexpr const char* MoveToDestinationSelector = "moveMarkedItemsToDestination:";
    static constexpr const char* CopyToDestinationSelector = "copyMarkedItemsToDestination:";
    static constexpr const char* MoveNoConfirmationSelector = "moveMarkedItemsNoConfirmation:";
    static constexpr const char* CopyNoConfirmationSelector = "copyMarkedItemsNoConfirmation:";

    // The commands own it and outlive it.
    explicit VKFolderMoveCopy(VKFolderCommands& commands) : m_commands(commands) { }

    // Refuses locked items and items without the operation (0x2 move, 0x4
    // copy), then presents the picker modally over the browser's stack.
    void moveOrCopyMarkedItems(int32_t operation);
    void folderPickerController(VKFolderPickerController& picker, const std::shared_ptr<VKFileResource>& folder) override;
    void didCancelFolderPickerController(VKFolderPickerController& picker) override;
    // A picked folder: asked about a move to another cloud service, checked
    // for collisions (and, copying, free space) where the items stay local.
    virtual void moveMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination);
    virtual void copyMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination);
    // The sheet tagged Sheet::MoveToCloud.
    virtual void moveToCloudSheetClickedButton(VKActionSheet& sheet, int index);
    // The overwrite sheet (Sheet::Overwrite) when names are taken, else the
    // action at once; a copy that would not fit is refused first.
    virtual void checkForMarkedItemCollisionsAtDestination(const std::shared_ptr<VKFileResource>& destination,
        int32_t operation, const std::string& action);
    // Runs the action named `action` (one of the selectors) with the destination.
    void performActionWithDestination(const std::string& action, const core::Value& destination);
    // Carried out on the worker as the browser's one operation; a cloud
    // destination goes to the upload of marked items.
    virtual void moveMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination);
    virtual void copyMarkedItemsNoConfirmation(const std::shared_ptr<VKFileResource>& destination);
    // The marked items copied, or with `deleteOriginals` moved, into a cloud
    // folder as the browser's operation; editing ends, and a move reloads
    // the table.
    virtual void uploadMarkedItemsToDestination(const std::shared_ptr<VKFileResource>& destination, bool deleteOriginals);

protected:
    VKFolderCommands& commands() const { return m_commands; }

private:
    void presentFolderPickerController(const std::shared_ptr<VKFolderPickerController>& picker);
    void dismissFolderPickerController();
    // Whether the destination lies in the cloud service of the listed folder.
    bool isInListedFoldersService(const VKFileResource& destination) const;

    VKFolderCommands& m_commands;
};
