#pragma once

// The document's own outline as a table: one row per entry in document
// order, indented by its depth, wrapped over as many lines as its title
// needs, with a search bar above the first row that filters the entries by
// title (ignoring case). A chosen entry's target goes to the delegate and
// the screen ends. Row heights are measured once per entry and kept in the
// entry itself ("Height"), so reopening a long outline measures nothing.

#include "PDF/VKPDFDocument.h"
#include "Platform/Graphics/Font.h"
#include "Platform/UI/SearchDisplayController.h"
#include "Platform/UI/TableViewController.h"

#include <memory>
#include <string>
#include <vector>

namespace ui {
class SearchBar;
}
class VKPDFOutlineTableViewController;

class VKPDFOutlineTableViewControllerDelegate {
public:
    virtual ~VKPDFOutlineTableViewControllerDelegate() = default;
    // The entry's "Target" as it stands (null when it has none).
    virtual void showDestination(const core::Value& target) = 0;
    virtual void outlineTableViewControllerDidEnd(VKPDFOutlineTableViewController& controller) = 0;
};

class VKPDFOutlineTableViewController : public ui::TableViewController, public ui::SearchDisplayDelegate {
public:
    static constexpr const char* CellIdentifier = "Cell";
    static constexpr float MinimumRowHeight = 44;
    static constexpr float RowPadding = 16;
    static constexpr float IndentationWidth = 10;

    static std::shared_ptr<VKPDFOutlineTableViewController> initWithOutlineList(
        std::shared_ptr<const VKPDFOutlineList> outlineList);
    VKPDFOutlineTableViewController();
    ~VKPDFOutlineTableViewController() override;

    bool isEmpty() const { return !m_outlineList || m_outlineList->empty(); }
    const VKPDFOutlineList& filteredOutlineList() const { return m_filtered; }
    std::shared_ptr<VKPDFOutlineTableViewControllerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<VKPDFOutlineTableViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
    ui::SearchBar* searchBar() const { return m_searchBar.get(); }
    ui::SearchDisplayController* searchDisplayController() const { return m_searchDisplayController.get(); }
    const gfx::Font& font() const { return m_font; }

    // Brings the search bar into view.
    void search();
    void cancel();
    // The first entry at the top, the search bar above it out of view.
    void scrollPastSearchBox();
    // The entries whose title holds `text` ignoring case, in order.
    void filter(const std::string& text);

    // The depth an entry is drawn at in a table `width` wide: its own, but
    // never indented past half the row.
    static int shownDepth(const core::Value::Dictionary& entry, float width);

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    bool shouldAutorotate(ui::Orientation) override { return true; }
    ui::Application::StatusBarStyle statusBarStyle() const override;

    int numberOfRows(ui::TableView& table, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<float> heightForRow(ui::TableView& table, ui::IndexPath path) override;
    int indentationLevelForRow(ui::TableView& table, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

    bool shouldReloadForSearchString(ui::SearchDisplayController&, const std::string& text) override;

private:
    const VKPDFOutlineList& listFor(ui::TableView& table) const;
    const VKPDFOutlineEntry* entryAt(ui::TableView& table, ui::IndexPath path) const;

    std::shared_ptr<const VKPDFOutlineList> m_outlineList;
    VKPDFOutlineList m_filtered;
    // The titles case-folded, made on the first filter.
    std::vector<std::string> m_foldedTitles;
    std::shared_ptr<ui::SearchBar> m_searchBar;
    std::shared_ptr<ui::SearchDisplayController> m_searchDisplayController;
    std::weak_ptr<VKPDFOutlineTableViewControllerDelegate> m_delegate;
    gfx::Font m_font;
};
