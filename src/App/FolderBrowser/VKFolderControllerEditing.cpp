// The folder screen's side of editing: what the marks' coordinator
// (VKFolderEditing) and the commands (VKFolderCommands) ask of it, marking
// everything or nothing, and the reveal of an item in its folder.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderEditingHost.h"
#include "App/FolderBrowser/VKFolderStack.h"

// MARK: The editing toolbar and the marks

VKFolderEditing& VKFolderController::editing() const
{
    attachHosts();
    return *m_editing;
}

VKFolderCommands& VKFolderController::commands() const
{
    if (!m_commands)
        m_commands = VKFolderCommands::create();
    if (!m_commands->hasHost()) {
        attachHosts();
        if (m_editingHost)
            m_commands->setHost(m_editingHost);
    }
    return *m_commands;
}

void VKFolderController::setCommands(std::shared_ptr<VKFolderCommands> commands)
{
    m_commands = std::move(commands);
}

void VKFolderController::markAllItems()
{
    editing().markAll();
    if (isViewLoaded())
        activeTableView().reloadData();
    editing().updateBars();
}

void VKFolderController::unmarkAllItems()
{
    editing().clear();
    if (isViewLoaded())
        activeTableView().reloadData();
    editing().updateBars();
}

// MARK: Reveal

void VKFolderController::revealResource(const std::shared_ptr<VKFileResource>& resource)
{
    VKFolderStack::reveal(*this, resource);
}
