#include "Platform/UI/SearchDisplayController.h"

#include "Platform/UI/NavigationController.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"

namespace ui {

std::shared_ptr<SearchDisplayController> SearchDisplayController::create(const std::shared_ptr<SearchBar>& searchBar,
    const std::shared_ptr<ViewController>& contentsController)
{
    auto controller = std::make_shared<SearchDisplayController>();
    controller->m_bar = searchBar;
    controller->m_contents = contentsController;
    if (searchBar)
        searchBar->setDelegate(controller);
    return controller;
}

SearchDisplayController::SearchDisplayController() = default;

SearchDisplayController::~SearchDisplayController()
{
    if (m_table)
        m_table->removeFromSuperview();
}

ViewController* SearchDisplayController::searchContentsController() const
{
    return static_cast<ViewController*>(m_contents.lock().get());
}

TableView& SearchDisplayController::searchResultsTableView()
{
    if (!m_table) {
        m_table = TableView::create();
        // Opaque, as a plain table is: the contents below must not show
        // through under the last result.
        m_table->setBackgroundColor(StandardColors::white());
        // Below the bar, as wide and as high as the contents, however
        // they are resized or turned while the results show.
        m_table->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
        m_table->setDataSource(m_resultsDataSource);
        m_table->setDelegate(m_resultsDelegate);
    }
    return *m_table;
}

void SearchDisplayController::setSearchResultsDataSource(std::weak_ptr<TableViewDataSource> dataSource)
{
    m_resultsDataSource = dataSource;
    if (m_table)
        m_table->setDataSource(std::move(dataSource));
}

void SearchDisplayController::setSearchResultsDelegate(std::weak_ptr<TableViewDelegate> delegate)
{
    m_resultsDelegate = delegate;
    if (m_table)
        m_table->setDelegate(std::move(delegate));
}

bool SearchDisplayController::isShowingResults() const
{
    return m_table && m_table->superview() && !m_table->isHidden();
}

void SearchDisplayController::setActive(bool active, bool animated)
{
    if (active == m_active)
        return;
    auto keep = shared_from_this();
    auto bar = m_bar.lock();
    auto d = delegate();
    auto* contents = searchContentsController();
    auto* navigation = contents ? contents->navigationController() : nullptr;
    if (active) {
        if (d)
            d->willBeginSearch(*this);
        m_active = true;
        if (bar)
            bar->setShowsCancelButton(true, animated);
        if (navigation && !navigation->isNavigationBarHidden()) {
            navigation->setNavigationBarHidden(true, animated);
            m_hidNavigationBar = true;
        }
        if (d)
            d->didBeginSearch(*this);
        return;
    }
    if (d)
        d->willEndSearch(*this);
    m_active = false;
    showResults(false);
    if (bar) {
        bar->setShowsCancelButton(false, animated);
        bar->textField().setText("");
        bar->resignFirstResponder();
    }
    if (navigation && std::exchange(m_hidNavigationBar, false))
        navigation->setNavigationBarHidden(false, animated);
    if (d)
        d->didEndSearch(*this);
}

// The results cover the contents below the search bar.
void SearchDisplayController::showResults(bool shown)
{
    auto bar = m_bar.lock();
    auto* contents = searchContentsController();
    if (!shown) {
        if (isShowingResults()) {
            m_table->removeFromSuperview();
            if (auto d = delegate())
                d->didHideResults(*this, *m_table);
        }
        return;
    }
    TableView& table = searchResultsTableView();
    if (!table.superview() && contents) {
        View& host = *contents->view();
        gfx::Rect below = host.bounds();
        if (bar) {
            float top = bar->convertRect(bar->bounds(), &host).maxY() - host.bounds().y();
            below = { below.x(), below.y() + top, below.width(), std::max(0.0f, below.height() - top) };
        }
        table.setFrame(below);
        if (auto d = delegate())
            d->willShowResults(*this, table);
        host.addSubview(m_table);
    }
}

void SearchDisplayController::textDidBeginEditing(SearchBar&)
{
    setActive(true, true);
}

void SearchDisplayController::textDidChange(SearchBar&, const std::string& text)
{
    auto keep = shared_from_this();
    if (!m_active)
        setActive(true, true);
    if (text.empty()) {
        showResults(false);
        return;
    }
    auto d = delegate();
    bool reload = !d || d->shouldReloadForSearchString(*this, text);
    showResults(true);
    if (reload)
        searchResultsTableView().reloadData();
}

void SearchDisplayController::cancelButtonClicked(SearchBar&)
{
    setActive(false, true);
}

void SearchDisplayController::searchButtonClicked(SearchBar& bar)
{
    if (!openKeyedResult(bar))
        bar.resignFirstResponder();
}

bool SearchDisplayController::keyCommand(SearchBar& bar, KeyCommand command)
{
    if (!isShowingResults())
        return false;
    switch (command) {
    case KeyCommand::Up:
    case KeyCommand::Down:
    case KeyCommand::PageUp:
    case KeyCommand::PageDown:
        return m_table->performKeyCommand(command);
    case KeyCommand::Return:
        return openKeyedResult(bar);
    default:
        return false;
    }
}

bool SearchDisplayController::openKeyedResult(SearchBar& bar)
{
    if (!isShowingResults() || !m_table->indexPathForSelectedRow())
        return false;
    auto keep = shared_from_this();
    auto table = m_table;
    // The screen it opens takes the keys, not the field left behind.
    bar.resignFirstResponder();
    return table->performKeyCommand(KeyCommand::Return);
}

void SearchDisplayController::selectedScopeButtonIndexDidChange(SearchBar& bar, int index)
{
    auto keep = shared_from_this();
    auto d = delegate();
    bool reload = !d || d->shouldReloadForSearchScope(*this, index);
    if (reload && !bar.text().empty()) {
        showResults(true);
        searchResultsTableView().reloadData();
    }
}

} // namespace ui
