#pragma once

#include "App/FolderBrowser/VKMultiEditTableViewDelegate.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TableViewDelegate.h"

#include <memory>
#include <optional>
#include <string>

class VKFolderController;

// The folder screen's table side: the data source and delegate of its list
// and of the search's results table. One section of the listing's rows,
// every row the table's rowHeight (so a reload costs nothing per row);
// what a touch, a Return, a mark, a swipe's Delete and a long touch do.
// The screen holds it and hands the tables weak pointers to it that share
// the screen's life: a table that reaches it holds the screen, and once the
// screen goes a table reaches no data source and shows no rows.
class VKFolderTableSide : public ui::TableViewDataSource,
                          public ui::TableViewDelegate,
                          public VKMultiEditTableViewDelegate {
public:
    explicit VKFolderTableSide(VKFolderController& screen) : m_screen(screen) { }

    int numberOfSections(ui::TableView& table) override;
    int numberOfRows(ui::TableView& table, int section) override;
    // A "Local Files" result also names its folder.
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    // The screen dresses the row (VKFolderController::dressCell).
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override;
    // While editing a row is not selected: Return on the row the arrows
    // reached marks or unmarks it (a click marks it in the row itself).
    std::optional<ui::IndexPath> willSelectRow(ui::TableView& table, ui::IndexPath path) override;
    // The row opener opens the row's item (the search's keyboard goes).
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView& table, ui::IndexPath path) override;
    // Not for a guest, nor while the browser's operation runs.
    bool canEditRow(ui::TableView& table, ui::IndexPath path) override;
    // A running download's row offers to cancel it: the delete stops the
    // transfer and removes its partial data (the download hooks' removal).
    std::optional<std::string> titleForDeleteConfirmationButton(ui::TableView& table, ui::IndexPath path) override;
    bool supportsCommitEditing() const override { return true; }
    // A non-empty folder is asked about first; a failure says why.
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    // A swipe's Delete: the strip steps aside while it shows, and once it
    // goes (used or not) the table marks rows again when editing begins.
    void willBeginEditingRow(ui::TableView& table, ui::IndexPath path) override;
    void didEndEditingRow(ui::TableView& table, ui::IndexPath path) override;

    // No swipes for a guest, nor while marking.
    std::optional<bool> tableViewCanHandleSwipes(VKMultiEditTableView& table) override;
    void didMarkCell(ui::TableView& table, ui::IndexPath path) override;
    void didUnmarkCell(ui::TableView& table, ui::IndexPath path) override;
    // Only during a search: "Open" or "Reveal in Folder".
    void longTouchGestureForCell(ui::TableView& table, ui::TableViewCell& cell) override;

private:
    VKFolderController& m_screen;
};
