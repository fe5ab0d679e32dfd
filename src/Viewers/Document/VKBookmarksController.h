#pragma once

// The named bookmarks of one document, as a table presented over its
// viewer. Listing, a row jumps there (the delegate is told, then the screen
// ends); rows are deleted and reordered through the file-settings store,
// and after a reorder the rows are read back from it. Adding, the table
// holds only the new bookmark's name in an editable row, proposed as
// "Bookmark N"; a name already stored (compared exactly) is refused with
// an alert. The controller never changes what it shows without the store
// having agreed.

#include "App/Viewers/VKBookmarksControllerDelegate.h"
#include "Platform/Core/Value.h"
#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/TableViewController.h"

#include <memory>
#include <string>

class VKBookmarkAddCell;

class VKBookmarksController : public ui::TableViewController {
public:
    enum class Mode { List = 0, Add = 1 };
    static constexpr const char* ReadCellIdentifier = "VKBookmarkReadCell";
    static constexpr const char* AddCellIdentifier = "VKBookmarkAddCell";

    static std::shared_ptr<VKBookmarksController> initWithFileAtPath(const std::string& path);
    VKBookmarksController();
    ~VKBookmarksController() override;

    const std::string& path() const { return m_path; }
    const core::Value::Array& bookmarks() const { return m_bookmarks; }
    Mode mode() const { return m_mode; }
    std::shared_ptr<VKBookmarksControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKBookmarksControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    VKBookmarkAddCell* addCell() const { return m_addCell.get(); }

    // Switches to adding a bookmark at (x = inset, y = offset) and `zoom`
    // (0: none), for the rest of the controller's life.
    void addBookmarkWithOffset(gfx::Point offset, float zoom = 0);

    void saveClicked();
    void cancelClicked();
    void doneClicked();

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    bool shouldAutorotate(ui::Orientation) override { return true; }
    ui::Application::StatusBarStyle statusBarStyle() const override;
    void setEditing(bool editing, bool animated) override;

    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<ui::IndexPath> willSelectRow(ui::TableView&, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    bool canEditRow(ui::TableView&, ui::IndexPath) override { return m_mode == Mode::List; }
    std::optional<ui::TableViewCell::EditingStyle> editingStyleForRow(ui::TableView&, ui::IndexPath) override;
    bool supportsCommitEditing() const override { return true; }
    void commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path) override;
    bool supportsMoveRow() const override { return true; }
    bool canMoveRow(ui::TableView&, ui::IndexPath) override { return m_mode == Mode::List; }
    void moveRow(ui::TableView& table, ui::IndexPath from, ui::IndexPath to) override;

    // The look of the bookmark screens: a black opaque status bar and
    // navigation bar.
    static void applyBarAppearance(ui::ViewController& controller, bool animated);

    // What a row shows of a name: one line, at most this many bytes.
    static std::string displayName(std::string_view name);
    static constexpr size_t MaximumShownNameLength = 512;

private:
    void reloadFromStore();
    void setupBarButtons();
    void tellEnd();

    core::Value::Array m_bookmarks;
    std::string m_path;
    std::weak_ptr<VKBookmarksControllerDelegate> m_delegate;
    Mode m_mode = Mode::List;
    std::shared_ptr<VKBookmarkAddCell> m_addCell;
};
