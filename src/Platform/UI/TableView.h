#pragma once

// A scrolling list of sections of rows. Row geometry comes from counts and
// heights (asked once per row per reload, kept as prefix sums per section),
// so any number of rows costs only what is visible: layout materialises the
// cells that meet the visible rectangle, tells will-display in row order and
// queues scrolled-out cells for reuse by identifier. Selection, editing,
// swipe-to-delete (an overridable hook), checked batch updates (deletes use
// the old index paths, inserts the new ones), moves with a target proposal,
// accessories and section index titles are model operations that touches
// and the driver trigger. A plain table's section headers stick to the top
// of the visible area while their section passes under them; footers and
// grouped tables scroll with their rows. Headers stand above the rows and
// below the section index. A grouped table's titled headers are taller and
// set their title in line with the rows' text; an empty title is no title.

#include "Platform/UI/IndexPath.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TableViewDelegate.h"
#include "Platform/UI/TableViewGeometry.h"
#include "Platform/UI/TableViewRowDeletion.h"
#include "Platform/UI/TableViewRowInput.h"
#include "Platform/UI/TableViewSectionIndex.h"
#include "Platform/UI/TableViewSectionViews.h"
#include "Platform/UI/TableViewVisibleCells.h"

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace ui {

class TableViewBatchUpdates;

class TableView : public ScrollView {
public:
    enum class Style { Plain = 0, Grouped = 1 };
    enum class RowAnimation { Fade = 0, Right = 1, Left = 2, Top = 3, Bottom = 4, None = 5, Middle = 6 };
    enum class ScrollPosition { None = 0, Top = 1, Middle = 2, Bottom = 3 };
    static constexpr float DefaultRowHeight = 44;
    static constexpr float PlainSectionHeaderHeight = 22;
    static constexpr float GroupedSectionSpacing = 10;
    static constexpr float GroupedMargin = 10;
    // A grouped section's header with a title: the spacing above, the
    // title's line and a little room before the rows.
    static constexpr float GroupedTitledHeaderHeight = 40;
    static constexpr float IndexWidth = 30;
    static constexpr double RowAnimationDuration = 0.3;

    static std::shared_ptr<TableView> create(const gfx::Rect& frame = {}, Style style = Style::Plain);
    explicit TableView(Style style = Style::Plain);
    ~TableView() override;

    Style style() const { return m_style; }
    std::shared_ptr<TableViewDataSource> dataSource() const { return m_dataSource.lock(); }
    void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    std::shared_ptr<TableViewDelegate> tableDelegate() const { return m_tableDelegate.lock(); }
    // Also the scroll view's delegate.
    void setDelegate(std::weak_ptr<TableViewDelegate> delegate);

    float rowHeight() const { return m_rowHeight; }
    void setRowHeight(float height);
    float sectionHeaderHeight() const { return m_sectionHeaderHeight; }
    float sectionFooterHeight() const { return m_sectionFooterHeight; }
    const std::shared_ptr<View>& tableHeaderView() const { return m_tableHeaderView; }
    void setTableHeaderView(std::shared_ptr<View> view);
    const std::shared_ptr<View>& tableFooterView() const { return m_tableFooterView; }
    void setTableFooterView(std::shared_ptr<View> view);
    int sectionIndexMinimumDisplayRowCount() const { return m_indexMinimumRows; }
    void setSectionIndexMinimumDisplayRowCount(int rows) { m_indexMinimumRows = rows; }

    // Asks the data source and the delegate again; the visible cells go to
    // the reuse queue.
    void reloadData();
    void reloadSectionIndexTitles();

    int numberOfSections() const { return m_geometry.sectionCount(); }
    // Out of range: 0.
    int numberOfRows(int section) const;
    // Queries answer the zero rectangle or nothing for paths out of range.
    gfx::Rect rectForSection(int section) const;
    gfx::Rect rectForHeader(int section) const;
    gfx::Rect rectForFooter(int section) const;
    gfx::Rect rectForRow(IndexPath path) const;
    std::optional<IndexPath> indexPathForRow(gfx::Point point) const;
    std::optional<IndexPath> indexPathForCell(const TableViewCell& cell) const;
    std::vector<IndexPath> indexPathsForRows(const gfx::Rect& rect) const;
    TableViewCell* cellForRow(IndexPath path) const;
    std::vector<TableViewCell*> visibleCells() const;
    std::vector<IndexPath> indexPathsForVisibleRows() const;
    // A queued cell of that identifier, prepared for reuse, or null.
    std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& identifier);
    // The header or footer view shown for a section now (null when none).
    View* headerViewForTesting(int section) const;

    // Out-of-range paths throw.
    void scrollToRow(IndexPath path, ScrollPosition position, bool animated);

    bool allowsSelection() const { return m_allowsSelection; }
    void setAllowsSelection(bool allows) { m_allowsSelection = allows; }
    bool allowsSelectionDuringEditing() const { return m_allowsSelectionDuringEditing; }
    void setAllowsSelectionDuringEditing(bool allows) { m_allowsSelectionDuringEditing = allows; }
    std::optional<IndexPath> indexPathForSelectedRow() const { return m_selected; }
    void selectRow(std::optional<IndexPath> path, bool animated, ScrollPosition position);
    // Clears at once, whether animated or not.
    void deselectRow(IndexPath path, bool animated);
    // What a tap on a row does: will-select (which may redirect or refuse),
    // the selection, did-select.
    void tapRow(IndexPath path);
    void tapAccessory(IndexPath path);

    bool isEditing() const { return m_editing; }
    virtual void setEditing(bool editing, bool animated = false);
    // The row's editing style: the delegate's, else delete.
    TableViewCell::EditingStyle editingStyleForRow(IndexPath path);
    // Tells the data source to commit the row's editing style.
    void commitEdit(IndexPath path);

    // Swipe-to-delete: whether swipes over rows are taken (by default while
    // not editing, when the data source commits edits), and what a swipe
    // over a cell does (the delete confirmation when the row may be
    // deleted).
    virtual bool canHandleSwipes();
    virtual void swipeCell(TableViewCell& cell, gfx::Point point);
    // Whether `point` (the table's coordinates) falls on the editing disc of
    // the row's cell.
    bool isOnEditingControl(IndexPath path, gfx::Point point) const;
    std::optional<IndexPath> swipedRow() const;
    // Taps the shown confirmation: commits, then did-end-editing-row.
    void confirmDeletion();
    void cancelDeletion();
    // A tap on an editing row's minus or plus disc: the minus shows the row's
    // Delete button (or takes it away again), the plus commits the insert.
    void tapEditingControl(IndexPath path);

    // Batch updates: between begin and end the changes collect; the counts
    // are checked against the data source at the end.
    void beginUpdates();
    void endUpdates();
    void insertRows(const std::vector<IndexPath>& paths, RowAnimation animation);
    void deleteRows(const std::vector<IndexPath>& paths, RowAnimation animation);
    void reloadRows(const std::vector<IndexPath>& paths, RowAnimation animation);
    void insertSections(const std::vector<int>& sections, RowAnimation animation);
    void deleteSections(const std::vector<int>& sections, RowAnimation animation);
    // A person's move: the delegate may redirect the proposed place; the
    // data source hears the final one and the table reorders its own rows.
    void moveRow(IndexPath from, IndexPath proposed);

    // Section index: the titles shown at the right edge, and a tap on one.
    const std::vector<std::string>& sectionIndexTitles() const { return m_index.titles(); }
    View* indexView() const { return m_index.view(); }
    void tapIndexTitle(int index);

    // The section index takes its touches at once.
    bool delaysTouchesInContentView(const View* view) const override;
    void layoutSubviews() override;
    // Up and Down move the selection a row (from the keyboard's place, else
    // the first or last row shown) and keep it in sight; Return opens the
    // selected row, else the place, as a tap would; the rest scrolls, and
    // with a place the page keys and Home and End take it to the row wholly
    // in sight at the top (up) or the bottom (down).
    bool performKeyCommand(KeyCommand command) override;
    // The keyboard's place (TableViewRowInput): the row last chosen, kept
    // while the row exists, and whether the keys put it there.
    std::optional<IndexPath> keyboardPlace() const { return m_input.place(); }
    bool showsKeyboardPlace() const { return m_input.placeShown(); }
    // Puts the place on another row (a screen that reloaded follows its
    // item there); shown as before, nowhere for a row that does not exist.
    void setKeyboardPlace(std::optional<IndexPath> path) { keepPlace(path); }
    void touchesBegan(const TouchSet& touches, const Event& event) override;
    void touchesEnded(const TouchSet& touches, const Event& event) override;
    void touchesCancelled(const TouchSet& touches, const Event& event) override;
    void didMoveToWindow() override;

private:
    void computeGeometry();
    void requireValid(IndexPath path, const char* what) const;
    bool isValid(IndexPath path) const;
    // Asks the data source and the delegate again at the next layout.
    void reload();
    void replaceView(std::shared_ptr<View>& slot, std::shared_ptr<View> view);
    void materialise();
    void dropAllCells();
    void select(IndexPath path, bool notify);
    // After the rows changed: the place stays where its row still is.
    void keepPlace(std::optional<IndexPath> path);
    gfx::Rect cellFrame(IndexPath path) const;

    Style m_style;
    std::weak_ptr<TableViewDataSource> m_dataSource;
    std::weak_ptr<TableViewDelegate> m_tableDelegate;
    float m_rowHeight = DefaultRowHeight;
    float m_sectionHeaderHeight;
    float m_sectionFooterHeight;
    std::shared_ptr<View> m_tableHeaderView;
    std::shared_ptr<View> m_tableFooterView;
    TableViewGeometry m_geometry;
    TableViewVisibleCells m_cells;
    TableViewSectionViews m_sectionViews;
    TableViewSectionIndex m_index;
    TableViewRowDeletion m_deletion;
    TableViewRowInput m_input;
    std::optional<IndexPath> m_selected;
    std::unique_ptr<TableViewBatchUpdates> m_updates;
    int m_indexMinimumRows = 0;
    bool m_loaded = false;
    bool m_allowsSelection = true;
    bool m_allowsSelectionDuringEditing = false;
    bool m_editing = false;
};

} // namespace ui
