#pragma once

#include "App/FolderBrowser/VKFolderCommandsHost.h"
#include "App/FolderBrowser/VKFolderEditing.h"

#include <memory>

class VKFolderController;

// The folder screen's answers to its marks (VKFolderEditing) and its
// editing commands (VKFolderCommands): the rows and bars they work on,
// and the list following what the commands did to the folder; and the
// screen's switch into and out of marking rows. The screen holds it; the
// marks, which the screen holds too, hold it by reference, the commands
// through a weak pointer that shares the screen's life.
class VKFolderEditingHost : public VKFolderEditing::Host, public VKFolderCommandsHost {
public:
    explicit VKFolderEditingHost(VKFolderController& screen) : m_screen(screen) { }

    // Into marking: the rows show check boxes (the table's own editing stays
    // off), the strip and the back button hide, the search bar is disabled,
    // "New Folder" (where the folder allows one) and the commands' toolbar
    // come up, the marks start empty. Out of it: the screen's bars again.
    void setMarking(bool editing, bool animated);
    // The folder screen's move of one of its items to the desktop's trash
    // (moveFileResourceToDesktopTrash; the viewers' and the commands'
    // alike): the notices before and after, the row and its mark gone. The
    // results are VKViewerFolderHost's.
    int trashRow(const std::shared_ptr<VKFileResource>& resource);

    const std::vector<VKFolderRow>& editingRows() override;
    uint64_t editingSizeOfItem(const VKFileResource& resource) const override;
    void editingMarksReset() override;
    bool editingIsActive() const override;
    ui::NavigationItem& editingNavigationItem() override;
    const std::vector<std::shared_ptr<ui::BarButtonItem>>& editingBarItems() const override;
    ui::Toolbar* editingToolbar() const override;
    void editingMarkAll() override { commandMarkAll(true); }
    void editingUnmarkAll() override { commandMarkAll(false); }

    VKFolderControllerBase& commandScreen() override;
    const std::shared_ptr<VKFileResource>& commandFolder() const override;
    VKFolderEditing& commandMarks() override;
    ui::TableView* commandTable() override;
    size_t commandRowCount() override;
    std::optional<ui::IndexPath> commandRowOf(const VKFileResource& resource) override;
    bool commandScreenIsOnTop() const override;
    bool commandScreenIsVisible() const override;
    bool commandNameIsTaken(const std::string& name, bool ignoringCase) override;
    bool commandShowsHiddenFiles() const override;
    void commandMarkAll(bool marked) override;
    void commandOpen(const std::shared_ptr<VKFileResource>& resource) override;
    void commandReveal(const std::shared_ptr<VKFileResource>& resource) override;
    int commandMoveToTrash(const std::shared_ptr<VKFileResource>& resource) override;
    void commandHoldList(bool hold) override;
    void commandAdded(const std::shared_ptr<VKFileResource>& resource) override;
    void commandReplaced(const std::shared_ptr<VKFileResource>& from, const std::shared_ptr<VKFileResource>& to) override;
    void commandRemoved(const std::vector<std::shared_ptr<VKFileResource>>& resources) override;
    void commandDeleted(const std::vector<std::shared_ptr<VKFileResource>>& trashed) override;
    void commandListChanged() override;
    void commandScrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position) override;
    void commandHighlight(const std::shared_ptr<VKFileResource>& resource) override;

private:
    VKFolderController& m_screen;
};
