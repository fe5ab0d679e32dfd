// The folder screen's side of editing: what the marks' coordinator
// (VKFolderEditing) and the commands (VKFolderCommands) ask of it, marking
// everything or nothing, and the reveal of an item in its folder.

#include "App/FolderBrowser/VKFolderController.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/NavigationController.h"

#include <unordered_set>

// MARK: The editing toolbar and the marks

VKFolderEditing& VKFolderController::editing() const
{
    if (!m_editing->hasHost())
        if (auto shared = weak_from_this().lock())
            m_editing->setHost(std::static_pointer_cast<VKFolderController>(std::const_pointer_cast<core::Object>(shared)));
    return *m_editing;
}

const std::vector<VKFolderRow>& VKFolderController::editingRows()
{
    return listing().builtRows();
}

uint64_t VKFolderController::editingSizeOfItem(const VKFileResource& resource) const
{
    return resource.contentSize();
}

void VKFolderController::editingMarksReset()
{
    if (isViewLoaded())
        activeTableView().reloadData();
}

ui::Toolbar* VKFolderController::editingToolbar() const
{
    return navigationController() ? &navigationController()->toolbar() : nullptr;
}

VKFolderCommands& VKFolderController::commands() const
{
    if (!m_commands)
        m_commands = VKFolderCommands::create();
    if (!m_commands->hasHost())
        if (auto shared = weak_from_this().lock())
            m_commands->setHost(std::static_pointer_cast<VKFolderController>(std::const_pointer_cast<core::Object>(shared)));
    return *m_commands;
}

void VKFolderController::setCommands(std::shared_ptr<VKFolderCommands> commands)
{
    m_commands = std::move(commands);
}

void VKFolderController::loadEditingToolbarItems()
{
    if (!editingToolbarItems().empty())
        return;
    setEditingToolbarItems(editing().makeToolbarItems(commands().toolbarButtons()));
}

void VKFolderController::markAllItems()
{
    editing().markAll();
    editingMarksReset();
    editing().updateBars();
}

void VKFolderController::unmarkAllItems()
{
    editing().clear();
    editingMarksReset();
    editing().updateBars();
}

bool VKFolderController::childExistsWithName(const std::string& name, bool caseInsensitiveCompare)
{
    if (name.empty())
        return false;
    // A dangling link holds its name too.
    if (core::fs::attributes(core::path::appendingPathComponent(m_folderPath, name)))
        return true;
    if (!caseInsensitiveCompare)
        return false;
    std::string folded = core::caseFolded(name);
    for (const auto& row : listing().children())
        if (core::caseFolded(row.resource->name()) == folded)
            return true;
    return false;
}

// MARK: Reveal

void VKFolderController::revealResource(const std::shared_ptr<VKFileResource>& resource)
{
    auto parent = resource ? resource->parent() : nullptr;
    if (!parent)
        return;
    // The stack may let this screen go on the way.
    auto keep = self();
    // The screen on top once the stack has changed shows the row a pass
    // later, when its list is laid out.
    auto revealOnTop = [resource](ui::NavigationController* navigation) {
        if (!navigation)
            return;
        std::weak_ptr<ui::NavigationController> weak =
            std::static_pointer_cast<ui::NavigationController>(navigation->shared_from_this());
        core::RunLoop::main().post([weak, resource] {
            auto stack = weak.lock();
            auto top = stack ? std::dynamic_pointer_cast<VKFolderController>(stack->topViewController()
                                   ? stack->topViewController()->shared_from_this() : nullptr)
                             : nullptr;
            if (top)
                top->revealAndHighlightResource(resource);
        });
    };
    if (isSearching()) {
        openResource(parent);
        revealOnTop(navigationController());
        return;
    }
    if (core::path::standardizingPath(parent->path()) == m_folderPath) {
        revealAndHighlightResource(resource);
        return;
    }
    // Another folder: the application delegate builds the stack down to it.
    auto delegate = services();
    if (!delegate) {
        core::log("Warning, no application delegate to reveal {}", resource->path());
        return;
    }
    ui::NavigationController* navigation = delegate->browserNavigation();
    delegate->browserShowFolder(parent->path(), false);
    revealOnTop(navigation);
}

// MARK: What the commands did

void VKFolderController::commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed)
{
    // The rows of the trashed items, in one pass over the rows.
    // (The resources are the rows' own unless a rebuild made new ones.)
    std::vector<ui::IndexPath> rowsGone;
    if (listing().isBuilt() && !trashed.empty()) {
        const auto& listed = listing().rows();
        std::unordered_set<const VKFileResource*> objects;
        for (const auto& resource : trashed)
            objects.insert(resource.get());
        for (size_t i = 0; i < listed.size(); ++i)
            if (objects.contains(listed[i].resource.get()))
                rowsGone.push_back({ tableSectionForResources(), int(i) });
        if (rowsGone.size() != trashed.size()) {
            rowsGone.clear();
            std::unordered_set<std::string> paths;
            for (const auto& resource : trashed)
                paths.insert(core::path::standardizingPath(resource->path()));
            for (size_t i = 0; i < listed.size(); ++i)
                if (paths.contains(core::path::standardizingPath(listed[i].resource->path())))
                    rowsGone.push_back({ tableSectionForResources(), int(i) });
        }
    }
    listing().remove(trashed);
    listing().endUpdates();
    if (trashed.empty() || !isViewLoaded())
        return;
    if (rowsGone.size() == trashed.size()) {
        activeTableView().deleteRows(rowsGone, ui::TableView::RowAnimation::None);
        updateIndexView();
        updateFolderInfo();
    } else {
        updateModelAndView();
    }
}

void VKFolderController::commandListChanged()
{
    updateModelAndView();
    updateFolderInfo();
}
