#include "App/FolderBrowser/VKFolderSearch.h"

#include "App/FolderBrowser/VKFolderSearchBar.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/ViewController.h"

VKFolderSearch::~VKFolderSearch()
{
    if (m_bar)
        m_bar->setDelegate({});
}

void VKFolderSearch::load(bool localFolder, const std::shared_ptr<ui::ViewController>& contents,
    float width, float rowHeight, std::weak_ptr<ui::TableViewDataSource> dataSource,
    std::weak_ptr<ui::TableViewDelegate> delegate)
{
    m_localFolder = localFolder;
    m_bar = VKFolderSearchBar::create({ 0, 0, width, 0 });
    m_bar->setPlaceholder(core::localized(m_localFolder ? "Search" : "Search Folder"));
    m_bar->textField().setAutocapitalizationType(ui::TextInput::AutocapitalizationType::None);
    m_bar->textField().setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
    m_bar->setTintColor(m_host.folderSearchBarTint());
    if (m_localFolder)
        m_bar->setScopeButtonTitles({ core::localized("Folder"), core::localized("Local Files") });
    m_bar->sizeToFit();
    m_display = ui::SearchDisplayController::create(m_bar, contents);
    m_display->setDelegate(weak_from_this());
    m_display->setSearchResultsDataSource(std::move(dataSource));
    m_display->setSearchResultsDelegate(std::move(delegate));
    // The results cover the list below the bar, also past their last row.
    ui::TableView& results = m_display->searchResultsTableView();
    results.setRowHeight(rowHeight);
    results.setBackgroundColor(ui::StandardColors::white());
}

bool VKFolderSearch::isSearching() const
{
    return m_display && m_display->isActive() && !m_ending;
}

std::optional<std::string> VKFolderSearch::text() const
{
    if (!isSearching() || !m_bar)
        return std::nullopt;
    return m_bar->text();
}

int VKFolderSearch::scope() const
{
    return m_bar && m_bar->selectedScopeButtonIndex() == 1 ? 1 : 0;
}

void VKFolderSearch::willBeginSearch(ui::SearchDisplayController&)
{
    m_host.folderSearchWillBegin();
    m_bar->setTintColor(std::nullopt);
    int chosen = 0;
    if (m_localFolder)
        chosen = core::UserDefaults::standard()->integerForKey(ScopeKey) == 1 ? 1 : 0;
    m_bar->setSelectedScopeButtonIndex(chosen);
    if (m_localFolder)
        showScopeBar(true);
}

void VKFolderSearch::willEndSearch(ui::SearchDisplayController&)
{
    // The display controller is still active while it ends: the rows go
    // back to the folder's now.
    m_ending = true;
    m_host.folderSearchWillEnd();
    m_ending = false;
    if (m_localFolder) {
        core::UserDefaults::standard()->set(ScopeKey, core::Value(int64_t(m_bar->selectedScopeButtonIndex())));
        showScopeBar(false);
    }
    m_bar->setTintColor(m_host.folderSearchBarTint());
}

// The scopes show under the field while searching; the list makes room
// (the bar stays where it is: it may be taking the keyboard).
void VKFolderSearch::showScopeBar(bool shown)
{
    if (m_bar->showsScopeBar() == shown)
        return;
    m_bar->setShowsScopeBar(shown);
    m_host.folderSearchBarResized();
}

bool VKFolderSearch::shouldReloadForSearchString(ui::SearchDisplayController&, const std::string&)
{
    m_host.folderSearchChanged(KeystrokeDelay);
    return false;
}

bool VKFolderSearch::shouldReloadForSearchScope(ui::SearchDisplayController&, int)
{
    m_host.folderSearchChanged(0);
    return false;
}
