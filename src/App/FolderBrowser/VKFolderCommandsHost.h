#pragma once

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/TableView.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKFileResource;
class VKFolderControllerBase;
class VKFolderEditing;

// What the folder screen's commands (VKFolderCommands) and their parts ask
// of the screen, which owns them: they hold it weakly.
class VKFolderCommandsHost {
public:
    virtual ~VKFolderCommandsHost() = default;
    // The screen the commands speak from: their sheets, prompts, pickers
    // and alerts show over it, its bars anchor them, it leaves editing
    // when a command is done, and notifications name it as their sender.
    virtual VKFolderControllerBase& commandScreen() = 0;
    virtual const std::shared_ptr<VKFileResource>& commandFolder() const = 0;
    virtual VKFolderEditing& commandMarks() = 0;
    // The list shown (the results while searching); none before the view
    // loads.
    virtual ui::TableView* commandTable() = 0;
    virtual size_t commandRowCount() = 0;
    virtual std::optional<ui::IndexPath> commandRowOf(const VKFileResource& resource) = 0;
    // Whether the screen is on top of its stack, or shows at all.
    virtual bool commandScreenIsOnTop() const = 0;
    virtual bool commandScreenIsVisible() const = 0;
    // The exact name on disk in the folder, then (when asked) a listed
    // item's name equal but for case.
    virtual bool commandNameIsTaken(const std::string& name, bool ignoringCase) = 0;
    virtual bool commandShowsHiddenFiles() const = 0;

    // What stays the screen's own.
    virtual void commandMarkAll(bool marked) = 0;
    virtual void commandOpen(const std::shared_ptr<VKFileResource>& resource) = 0;
    virtual void commandReveal(const std::shared_ptr<VKFileResource>& resource) = 0;
    virtual int commandMoveToTrash(const std::shared_ptr<VKFileResource>& resource) = 0;

    // The list follows what the commands did to the folder. Between
    // holding and letting go the list's edits leave the table alone.
    virtual void commandHoldList(bool hold) = 0;
    virtual void commandAdded(const std::shared_ptr<VKFileResource>& resource) = 0;
    virtual void commandReplaced(const std::shared_ptr<VKFileResource>& from,
        const std::shared_ptr<VKFileResource>& to) = 0;
    virtual void commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& resources) = 0;
    // A delete's end: the list lets go of its hold and the rows of the
    // trashed items go from the table in one step (the list is rebuilt when
    // they cannot be found), with the strip and the summary.
    virtual void commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed) = 0;
    // The rows are built again and the summary follows.
    virtual void commandListChanged() = 0;
    // Scrolls to the row unless it shows whole; or shows and flashes it.
    virtual void commandScrollTo(const std::shared_ptr<VKFileResource>& resource,
        ui::TableView::ScrollPosition position) = 0;
    virtual void commandHighlight(const std::shared_ptr<VKFileResource>& resource) = 0;
};
