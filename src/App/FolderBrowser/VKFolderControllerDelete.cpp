// Deleting the marked items to the trash. A large selection is worked
// through in slices, one per main-loop pass, so that the screen keeps
// drawing; from the second slice on the browser's long operation shows the
// progress with a Cancel that stops before the next item. All the items
// share one trash group and one model update whatever way the delete ends,
// and the rows of the items that reached the trash go in one step.

#include "App/FolderBrowser/VKFolderController.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/TagAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/FileManagerResourceAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"

#include <fmt/format.h>

#include <chrono>
#include <unordered_set>

struct VKFolderController::Deletion {
    // The marked items in row order, and the next one to go.
    std::vector<std::shared_ptr<VKFileResource>> items;
    size_t next = 0;
    std::vector<std::shared_ptr<VKFileResource>> trashed;
    size_t failures = 0;
    // The browser's operation once the delete outlasts a slice (NoRun
    // while another operation held it).
    Run run = NoRun;
    bool announced = false;
    // When the command began: taking the marks counts against the first
    // slice's time.
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
    bool firstSlice = true;
};

void VKFolderController::deleteMarkedItems(const std::shared_ptr<core::Object>&)
{
    auto marked = markedResources();
    if (marked.empty() || isDeletingMarkedItems())
        return;
    for (const auto& resource : marked) {
        if (resource->isLocked()) {
            showAlertViewWithTitle(core::localized("Locked Items"),
                core::localized("Some items are locked and cannot be deleted"), core::localized("OK"));
            return;
        }
        if (!(resource->supportedFileOperations() & VKFileResourceOperationDelete)) {
            showAlertViewWithTitle(core::localized("Warning"),
                resource->localizedDescriptionForUnsupportedFileOperation(VKFileResourceOperationDelete).value_or(std::string()),
                core::localized("OK"));
            return;
        }
    }
    auto sheet = VKActionSheet::create("", std::static_pointer_cast<ui::ActionSheetDelegate>(self()));
    vkSetTag(*sheet, Sheet::DeleteConfirmation);
    std::string title = marked.size() == 1
        ? core::localized("Delete 1 Item?")
        : fmt::format(fmt::runtime(core::localized("Delete {} Items?")), marked.size());
    sheet->setDestructiveButtonIndex(sheet->addButtonWithTitle(title, VKActionSheet::UntaggedButton));
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    dismissActiveActionSheet(*this);
    ::showActionSheet(*this, *sheet, findBarButtonItemWithAction(DeleteMarkedItemsAction));
}

void VKFolderController::deleteMarkedItemsNoConfirmation()
{
    if (m_deletion) {
        core::log("Warning, a delete is already in progress");
        return;
    }
    auto deletion = std::make_shared<Deletion>();
    deletion->items = markedResources();
    if (deletion->items.empty()) {
        setEditing(false, true);
        return;
    }
    m_deletion = deletion;
    beginTrashGroup();
    beginModelUpdates();
    continueDeletion();
}

void VKFolderController::continueDeletion()
{
    if (!m_deletion)
        return;
    Deletion& deletion = *m_deletion;
    if (deletion.run != NoRun && isOperationCancelled(deletion.run)) {
        finishDeletion(true);
        return;
    }
    using Clock = std::chrono::steady_clock;
    const auto started = deletion.firstSlice ? deletion.began : Clock::now();
    deletion.firstSlice = false;
    const auto budget = std::chrono::duration<double>(DeleteSliceSeconds);
    auto& center = core::NotificationCenter::defaultCenter();
    size_t done = 0;
    beginQuotaBatch();
    while (deletion.next < deletion.items.size() && done < DeleteSliceItems) {
        if (done > 0 && Clock::now() - started >= budget)
            break;
        const auto& resource = deletion.items[deletion.next++];
        ++done;
        // Its observers still find the item where it was.
        center.post(VKFolderControllerWillDeleteResourceNotification, shared_from_this(),
            core::Value::Dictionary { { "Path", core::Value(resource->path()) } });
        if (moveFileResourceToTrash(resource) == VKRemoveResultDone) {
            deletion.trashed.push_back(resource);
        } else {
            ++deletion.failures;
            core::log("Warning, failed to delete: {}", resource->path());
        }
    }
    endQuotaBatch();
    if (deletion.next >= deletion.items.size()) {
        finishDeletion(false);
        return;
    }
    if (!deletion.announced) {
        deletion.announced = true;
        // The progress and its Cancel take the toolbar: editing ends here,
        // the marked items being taken already.
        setEditing(false, true);
        size_t count = deletion.items.size();
        deletion.run = startOperationWithLabel(count == 1
                ? core::localized("Deleting 1 Item")
                : fmt::format(fmt::runtime(core::localized("Deleting {} Items")), count),
            false);
    }
    if (deletion.run != NoRun)
        setOperationProgress(float(double(deletion.next) / double(deletion.items.size())), deletion.run);
    // The delete holds the screen until it ends, so that its group and
    // model update always close.
    auto keep = self();
    core::RunLoop::main().post([keep] { keep->continueDeletion(); });
}

void VKFolderController::finishDeletion(bool cancelled)
{
    auto deletion = std::move(m_deletion);
    // The rows of the trashed items, in one pass over the rows.
    // (The marked resources are the rows' own unless a rebuild made new ones.)
    std::vector<ui::IndexPath> rowsGone;
    if (m_rowsBuilt && !deletion->trashed.empty()) {
        const auto& listed = rows();
        std::unordered_set<const VKFileResource*> objects;
        for (const auto& resource : deletion->trashed)
            objects.insert(resource.get());
        for (size_t i = 0; i < listed.size(); ++i)
            if (objects.contains(listed[i].resource.get()))
                rowsGone.push_back({ tableSectionForResources(), int(i) });
        if (rowsGone.size() != deletion->trashed.size()) {
            rowsGone.clear();
            std::unordered_set<std::string> paths;
            for (const auto& resource : deletion->trashed)
                paths.insert(core::path::standardizingPath(resource->path()));
            for (size_t i = 0; i < listed.size(); ++i)
                if (paths.contains(core::path::standardizingPath(listed[i].resource->path())))
                    rowsGone.push_back({ tableSectionForResources(), int(i) });
        }
    }
    removeResourcesFromModel(deletion->trashed);
    endModelUpdates();
    endTrashGroup();
    if (!deletion->trashed.empty()) {
        emptyTrashInBackground();
        if (isViewLoaded()) {
            if (rowsGone.size() == deletion->trashed.size() && !rowsGone.empty()) {
                activeTableView().deleteRows(rowsGone, ui::TableView::RowAnimation::None);
                updateIndexView();
                updateFolderInfo();
            } else {
                updateModelAndView();
            }
        }
        core::NotificationCenter::defaultCenter().post(VKFolderControllerCollectionDidUpdateNotification,
            shared_from_this(), core::Value::Dictionary { { "Path", core::Value(m_resource->path()) } });
    }
    if (deletion->run != NoRun && !cancelled)
        endOperation(deletion->run);
    setEditing(false, true);
    if (cancelled || deletion->failures == 0)
        return;
    showAlertViewWithTitle(core::localized("Warning"),
        fmt::format(fmt::runtime(core::localized("Failed to delete {} items")), deletion->failures), core::localized("OK"));
}
