#pragma once

// Runs a search over a controller's content: it is the search bar's
// delegate, becomes active when the person starts typing (the navigation
// bar makes way), asks its delegate whether to reload the results table for
// each new search text and scope, shows that table while there is text and
// hides it when the text is cleared; cancel ends the search. While the
// results show, Up and Down walk them from the field and Return (the
// field's own, or the key) opens the one reached.

#include "Platform/Core/Object.h"
#include "Platform/UI/SearchBar.h"

#include <memory>

namespace ui {

class SearchDisplayController;
class TableView;
class TableViewDataSource;
class TableViewDelegate;
class ViewController;

class SearchDisplayDelegate {
public:
    virtual ~SearchDisplayDelegate() = default;
    virtual void willBeginSearch(SearchDisplayController&) { }
    virtual void didBeginSearch(SearchDisplayController&) { }
    virtual void willEndSearch(SearchDisplayController&) { }
    virtual void didEndSearch(SearchDisplayController&) { }
    virtual bool shouldReloadForSearchString(SearchDisplayController&, const std::string& text) { (void)text; return true; }
    virtual bool shouldReloadForSearchScope(SearchDisplayController&, int scope) { (void)scope; return true; }
    virtual void willShowResults(SearchDisplayController&, TableView&) { }
    virtual void didHideResults(SearchDisplayController&, TableView&) { }
};

class SearchDisplayController : public core::Object, public SearchBarDelegate {
public:
    static std::shared_ptr<SearchDisplayController> create(const std::shared_ptr<SearchBar>& searchBar,
        const std::shared_ptr<ViewController>& contentsController);
    SearchDisplayController();
    ~SearchDisplayController() override;

    SearchBar* searchBar() const { return m_bar.lock().get(); }
    ViewController* searchContentsController() const;
    TableView& searchResultsTableView();
    bool isShowingResults() const;

    bool isActive() const { return m_active; }
    void setActive(bool active, bool animated = false);

    std::shared_ptr<SearchDisplayDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<SearchDisplayDelegate> delegate) { m_delegate = std::move(delegate); }
    void setSearchResultsDataSource(std::weak_ptr<TableViewDataSource> dataSource);
    void setSearchResultsDelegate(std::weak_ptr<TableViewDelegate> delegate);

    // SearchBarDelegate
    void textDidBeginEditing(SearchBar&) override;
    void textDidChange(SearchBar&, const std::string& text) override;
    void cancelButtonClicked(SearchBar&) override;
    void searchButtonClicked(SearchBar&) override;
    void selectedScopeButtonIndexDidChange(SearchBar&, int index) override;
    bool keyCommand(SearchBar&, KeyCommand command) override;

private:
    void showResults(bool shown);
    // Opens the result the keys reached, the field letting go first: whether one was.
    bool openKeyedResult(SearchBar& bar);

    std::weak_ptr<SearchBar> m_bar;
    std::weak_ptr<core::Object> m_contents;
    std::weak_ptr<SearchDisplayDelegate> m_delegate;
    std::weak_ptr<TableViewDataSource> m_resultsDataSource;
    std::weak_ptr<TableViewDelegate> m_resultsDelegate;
    std::shared_ptr<TableView> m_table;
    bool m_active = false;
    bool m_hidNavigationBar = false;
};

} // namespace ui
