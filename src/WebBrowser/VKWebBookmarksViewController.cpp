#include "WebBrowser/VKWebBookmarksViewController.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "WebBrowser/VKWebListFile.h"

namespace {

constexpr const char* AddCellIdentifier = "VKWebBookmarkAddCell";
constexpr const char* HistoryCellIdentifier = "VKWebBookmarkHistoryCell";
constexpr const char* BookmarkCellIdentifier = "VKWebBookmarkCell";

std::string bookmarksText(std::string_view key)
{
    return core::localized(key, "WebBrowser");
}

} // namespace

std::shared_ptr<VKWebBookmarksViewController> VKWebBookmarksViewController::initWithBookmarksDelegate(
    std::weak_ptr<VKWebBookmarksViewControllerDelegate> delegate)
{
    auto screen = std::make_shared<VKWebBookmarksViewController>();
    screen->m_delegate = std::move(delegate);
    screen->refreshSnapshot();
    return screen;
}

VKWebBookmarksViewController::VKWebBookmarksViewController() : ui::TableViewController(ui::TableView::Style::Plain)
{
}

void VKWebBookmarksViewController::refreshSnapshot()
{
    m_bookmarks = VKWebBookmarks::sharedWebBookmarks()->bookmarks();
}

void VKWebBookmarksViewController::setAddCellEnabled(bool enabled)
{
    m_addCellEnabled = enabled;
    if (isViewLoaded())
        tableView().reloadData();
}

const VKWebBookmark* VKWebBookmarksViewController::bookmarkAtIndexPath(ui::IndexPath path) const
{
    int index = path.row - bookmarkStartIndex();
    return index >= 0 && size_t(index) < m_bookmarks.size() ? &m_bookmarks[size_t(index)] : nullptr;
}

void VKWebBookmarksViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    setTitle(bookmarksText("Bookmarks"));
    navigationItem().setRightBarButtonItem(editButtonItem());
    tableView().setAllowsSelectionDuringEditing(true);
}

int VKWebBookmarksViewController::numberOfRows(ui::TableView&, int)
{
    return int(m_bookmarks.size()) + bookmarkStartIndex();
}

std::shared_ptr<ui::TableViewCell> VKWebBookmarksViewController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    if (m_addCellEnabled && path.row == 0) {
        auto cell = table.dequeueReusableCell(AddCellIdentifier);
        if (!cell) {
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, AddCellIdentifier);
            cell->textLabel().setText(bookmarksText("Add Bookmark"));
            cell->textLabel().setTextColor(ui::StandardColors::gray());
            cell->imageView().setImage(ui::Images::imageNamed("VKTableCellAdd.png"));
        }
        return cell;
    }
    if (path.row == bookmarkStartIndex() - 1) {
        auto cell = table.dequeueReusableCell(HistoryCellIdentifier);
        if (!cell) {
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, HistoryCellIdentifier);
            cell->textLabel().setText(bookmarksText("History"));
            cell->imageView().setImage(ui::Images::imageNamed("VKTableCellHistoryCollection.png"));
        }
        return cell;
    }
    auto cell = table.dequeueReusableCell(BookmarkCellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Subtitle, BookmarkCellIdentifier);
        cell->detailTextLabel()->setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
        cell->imageView().setImage(ui::Images::imageNamed("VKTableCellBookmark.png"));
        cell->imageView().setHighlightedImage(ui::Images::imageNamed("VKTableCellBookmarkSelected.png"));
        cell->setEditingAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    }
    const VKWebBookmark* bookmark = bookmarkAtIndexPath(path);
    cell->textLabel().setText(bookmark ? VKWebListFile::singleLine(bookmark->title) : std::string());
    cell->detailTextLabel()->setText(bookmark ? VKWebListFile::singleLine(bookmark->URL) : std::string());
    return cell;
}

std::optional<ui::TableViewCell::EditingStyle> VKWebBookmarksViewController::editingStyleForRow(ui::TableView&,
    ui::IndexPath path)
{
    return path.row >= bookmarkStartIndex() ? ui::TableViewCell::EditingStyle::Delete : ui::TableViewCell::EditingStyle::None;
}

bool VKWebBookmarksViewController::canMoveRow(ui::TableView&, ui::IndexPath path)
{
    return path.row >= bookmarkStartIndex();
}

// Nothing goes above the first bookmark: a drop there leaves the row where
// it was.
std::optional<ui::IndexPath> VKWebBookmarksViewController::targetIndexPathForMove(ui::TableView&, ui::IndexPath from,
    ui::IndexPath proposed)
{
    return proposed.row < bookmarkStartIndex() ? from : proposed;
}

void VKWebBookmarksViewController::moveRow(ui::TableView&, ui::IndexPath from, ui::IndexPath to)
{
    int start = bookmarkStartIndex();
    if (from.row < start || to.row < start)
        return;
    VKWebBookmarks::sharedWebBookmarks()->moveBookmarkAtIndex(size_t(from.row - start), size_t(to.row - start));
    refreshSnapshot();
}

void VKWebBookmarksViewController::commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style,
    ui::IndexPath path)
{
    const VKWebBookmark* bookmark = bookmarkAtIndexPath(path);
    if (style != ui::TableViewCell::EditingStyle::Delete || !bookmark)
        return;
    VKWebBookmarks::sharedWebBookmarks()->removeBookmark(*bookmark);
    refreshSnapshot();
    table.deleteRows({ path }, ui::TableView::RowAnimation::Fade);
}

void VKWebBookmarksViewController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (m_addCellEnabled && path.row == 0) {
        auto delegate = m_delegate.lock();
        if (delegate && delegate->supportsDidSelectAddBookmark())
            delegate->webBookmarksViewControllerDidSelectAddBookmark(*this);
        table.deselectRow(path, true);
        return;
    }
    if (path.row == bookmarkStartIndex() - 1) {
        if (!isEditing())
            pushHistoryViewControllerAnimated(true);
        table.deselectRow(path, true);
        return;
    }
    const VKWebBookmark* bookmark = bookmarkAtIndexPath(path);
    if (!bookmark)
        return;
    if (isEditing()) {
        m_selectedBookmark = *bookmark;
        auto form = VKWebAddBookmarkViewController::initWithURL(bookmark->webBookmarkURL(), bookmark->webBookmarkTitle());
        form->setAddBookmarkDelegate(std::static_pointer_cast<VKWebBookmarksViewController>(shared_from_this()));
        form->setURLEditingEnabled(true);
        if (auto* navigation = navigationController())
            navigation->pushViewController(form, true);
        return;
    }
    tellSelectedURL(bookmark->webBookmarkURL());
    table.deselectRow(path, true);
}

void VKWebBookmarksViewController::tellSelectedURL(const std::optional<core::URL>& url)
{
    auto delegate = m_delegate.lock();
    if (delegate && delegate->supportsDidSelectURL())
        delegate->webBookmarksViewControllerDidSelectURL(*this, url);
}

void VKWebBookmarksViewController::webAddBookmarkViewControllerDidAccept(VKWebAddBookmarkViewController&)
{
    if (auto* navigation = navigationController())
        navigation->popViewController(true);
}

// However the form went (Done or back), the edit is kept: the bookmark
// takes the old one's place with a new UUID.
void VKWebBookmarksViewController::webAddBookmarkViewControllerDidDisappear(VKWebAddBookmarkViewController& form)
{
    if (!m_selectedBookmark)
        return;
    VKWebBookmarks::sharedWebBookmarks()->replaceBookmark(*m_selectedBookmark, form.bookmark());
    m_selectedBookmark.reset();
    refreshSnapshot();
    if (isViewLoaded())
        tableView().reloadData();
}

void VKWebBookmarksViewController::pushHistoryViewControllerAnimated(bool animated)
{
    auto* navigation = navigationController();
    if (!navigation)
        return;
    auto history = VKWebHistoryViewController::create();
    auto self = std::static_pointer_cast<VKWebBookmarksViewController>(shared_from_this());
    history->setHistoryDelegate(self);
    auto clear = ui::BarButtonItem::create(bookmarksText("Clear History"), ui::BarButtonItem::Style::Plain);
    clear->addTarget(self, "clearHistoryWithConfirmation", [this](ui::BarButtonItem&) {
        clearHistoryWithConfirmation();
    });
    history->navigationItem().setRightBarButtonItem(clear);
    navigation->pushViewController(history, animated);
}

void VKWebBookmarksViewController::clearHistoryWithConfirmation()
{
    auto* navigation = navigationController();
    if (!navigation)
        return;
    auto self = std::static_pointer_cast<VKWebBookmarksViewController>(shared_from_this());
    auto sheet = ui::ActionSheet::create("", std::static_pointer_cast<ui::ActionSheetDelegate>(self),
        core::localized("Cancel"), bookmarksText("Clear History"));
    sheet->showInView(*navigation->view());
}

void VKWebBookmarksViewController::didDismiss(ui::ActionSheet& sheet, int index)
{
    if (index == sheet.cancelButtonIndex())
        return;
    auto* navigation = navigationController();
    if (auto* history = navigation ? dynamic_cast<VKWebHistoryViewController*>(navigation->topViewController()) : nullptr)
        history->clearHistory();
}

void VKWebBookmarksViewController::webHistoryViewControllerDidSelectHistoryURL(VKWebHistoryViewController&,
    const core::URL& url)
{
    tellSelectedURL(url);
}
