#include "WebBrowser/VKDownloadHistoryController.h"

#include "App/FolderBrowser/VKDownloadFileResourceCell.h"
#include "App/FolderBrowser/VKMultiEditTableView.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/VKActionSheet.h"
#include "Shell/Interface/ViewControllerAdditions.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include <algorithm>
#include <limits>

namespace {

std::string text(const char* key)
{
    return core::localized(key, "WebBrowser");
}

std::shared_ptr<VKDownloadFileResource> asItem(const std::shared_ptr<VKFileResource>& resource)
{
    return std::dynamic_pointer_cast<VKDownloadFileResource>(resource);
}

// When a row's download began, in nanoseconds: the partial data is made at
// the first answer and becomes the finished file, so both keep its birth;
// an item that never got an answer has only its state file. Without either
// the row counts as new.
int64_t startTime(const VKFileResource& resource)
{
    std::optional<core::fs::Attributes> attributes;
    if (auto* item = dynamic_cast<const VKDownloadFileResource*>(&resource)) {
        std::string partial = item->downloadPath();
        attributes = partial.empty() ? std::nullopt : core::fs::attributes(partial);
        if (!attributes)
            attributes = core::fs::attributes(item->downloadInfoPath());
    } else {
        attributes = core::fs::attributes(resource.path());
    }
    return attributes ? attributes->creationTime : std::numeric_limits<int64_t>::max();
}

bool isListedDownload(const VKDownloadFileResource& item)
{
    const auto& items = VKDownloadManager::sharedManager()->webDownloads();
    return std::any_of(items.begin(), items.end(), [&](const auto& other) { return other->isEqual(item); });
}

} // namespace

std::shared_ptr<VKDownloadHistoryController> VKDownloadHistoryController::create()
{
    return std::make_shared<VKDownloadHistoryController>();
}

VKDownloadHistoryController::VKDownloadHistoryController()
    : ui::TableViewController(ui::TableView::Style::Plain)
{
    setTitle(text("Downloads"));
}

void VKDownloadHistoryController::loadView()
{
    gfx::Rect frame = ui::Application::shared() ? ui::Application::shared()->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto table = VKMultiEditTableView::create({ 0, 0, frame.width(), frame.height() });
    table->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    table->setEditingMode(VKMultiEditTableView::SwipeMode);
    table->setRowHeight(VKDownloadFileResourceCell::rowHeight());
    auto self = std::static_pointer_cast<VKDownloadHistoryController>(shared_from_this());
    table->setDataSource(std::static_pointer_cast<ui::TableViewDataSource>(self));
    table->setDelegate(std::static_pointer_cast<ui::TableViewDelegate>(self));
    setView(table);
}

void VKDownloadHistoryController::viewDidLoad()
{
    ui::TableViewController::viewDidLoad();
    std::weak_ptr<VKDownloadHistoryController> weak = std::static_pointer_cast<VKDownloadHistoryController>(shared_from_this());
    m_clearItem = barButtonItemWithTitle(text("Clear"), ui::BarButtonItem::Style::Bordered, nullptr,
        ClearCompletedDownloadsAction, [weak](ui::BarButtonItem&) {
            if (auto self = weak.lock())
                self->clearCompletedDownloads();
        });
    navigationItem().setRightBarButtonItem(m_clearItem);

    auto manager = VKDownloadManager::sharedManager();
    auto completed = manager->completedWebDownloads();
    for (const auto& file : completed)
        if (!file->exists())
            manager->clearCompletedDownload(file);
    m_downloadsObservation = manager->observeValueForKey("allDownloads", [weak] {
        if (auto self = weak.lock(); self && self->isViewLoaded())
            self->updateDownloads();
    });
}

void VKDownloadHistoryController::viewWillAppear(bool animated)
{
    ui::TableViewController::viewWillAppear(animated);
    updateDownloads();
    if (auto delegate = uiDelegate(); delegate && delegate->supportsWillAppear())
        delegate->downloadHistoryControllerWillAppear(*this);
}

void VKDownloadHistoryController::didReceiveMemoryWarning()
{
    ui::TableViewController::didReceiveMemoryWarning();
    m_downloads.clear();
    m_downloads.shrink_to_fit();
}

void VKDownloadHistoryController::updateDownloads()
{
    auto manager = VKDownloadManager::sharedManager();
    const auto& items = manager->webDownloads();
    const auto& completed = manager->completedWebDownloads();
    // Each list is oldest first: reversed, downloads begun in the same
    // second still show newest first.
    std::vector<std::pair<int64_t, std::shared_ptr<VKFileResource>>> rows;
    rows.reserve(items.size() + completed.size());
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        rows.emplace_back(startTime(**it), *it);
    for (auto it = completed.rbegin(); it != completed.rend(); ++it)
        rows.emplace_back(startTime(**it), *it);
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    m_downloads.clear();
    m_downloads.reserve(rows.size());
    for (auto& row : rows)
        m_downloads.push_back(std::move(row.second));
    if (m_clearItem)
        m_clearItem->setEnabled(!completed.empty());
    if (isViewLoaded())
        tableView().reloadData();
}

void VKDownloadHistoryController::clearCompletedDownloads()
{
    VKDownloadManager::sharedManager()->clearAllCompletedDownloads();
    updateDownloads();
}

std::shared_ptr<VKFileResource> VKDownloadHistoryController::resourceAtIndexPath(ui::IndexPath path) const
{
    if (path.section != 0 || path.row < 0 || size_t(path.row) >= m_downloads.size())
        return nullptr;
    return m_downloads[size_t(path.row)];
}

// MARK: Rows

int VKDownloadHistoryController::numberOfRows(ui::TableView&, int)
{
    return m_downloads.empty() ? 1 : int(m_downloads.size());
}

std::shared_ptr<ui::TableViewCell> VKDownloadHistoryController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto resource = resourceAtIndexPath(path);
    if (!resource) {
        auto cell = table.dequeueReusableCell(NoDownloadsCellIdentifier);
        if (!cell) {
            cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, NoDownloadsCellIdentifier);
            cell->textLabel().setTextColor(ui::StandardColors::lightGray());
            cell->textLabel().setTextAlignment(gfx::TextAlignment::Center);
            cell->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
        }
        cell->textLabel().setText(text("No Downloads"));
        return cell;
    }
    bool item = asItem(resource) != nullptr;
    const char* identifier = item ? DownloadCellIdentifier : ResourceCellIdentifier;
    auto cell = std::dynamic_pointer_cast<VKFileResourceCell>(table.dequeueReusableCell(identifier));
    if (!cell) {
        if (item)
            cell = VKDownloadFileResourceCell::create(identifier);
        else
            cell = VKFileResourceCell::create(identifier);
        cell->setAccessoryType(ui::TableViewCell::Accessory::None);
    }
    cell->setFrame({ 0, 0, table.bounds().width(), VKFileResourceCell::rowHeight() });
    cell->setResource(resource);
    return cell;
}

bool VKDownloadHistoryController::canEditRow(ui::TableView&, ui::IndexPath path)
{
    return resourceAtIndexPath(path) != nullptr;
}

bool VKDownloadHistoryController::canSelectRow(ui::TableView&, ui::IndexPath path)
{
    return resourceAtIndexPath(path) != nullptr;
}

std::optional<ui::IndexPath> VKDownloadHistoryController::willSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (!canSelectRow(table, path))
        return std::nullopt;
    return path;
}

void VKDownloadHistoryController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    table.deselectRow(path, true);
    if (auto resource = resourceAtIndexPath(path))
        showRowSheet(resource);
}

void VKDownloadHistoryController::showRowSheet(const std::shared_ptr<VKFileResource>& resource)
{
    auto delegate = uiDelegate();
    auto item = asItem(resource);
    auto sheet = VKActionSheet::create(std::string(), std::static_pointer_cast<ui::ActionSheetDelegate>(
        std::static_pointer_cast<VKDownloadHistoryController>(shared_from_this())));
    sheet->setTag(RowActionSheetTag);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    if (item || resource->exists()) {
        sheet->setTitle(resource->name());
        if (!item && delegate && delegate->supportsOpenDownloadResource())
            sheet->addButtonWithTitle(core::localized("Open"), OpenAction);
        if (item && !item->isActive() && item->downloadState() != VKNetworkStateDone)
            sheet->addButtonWithTitle(text("Resume"), ResumeAction);
        if (delegate && delegate->supportsRevealDownloadResource())
            sheet->addButtonWithTitle(text("Reveal in Folder"), RevealAction);
    } else {
        sheet->setTitle(text("File no longer exists"));
        sheet->addButtonWithTitle(text("Clear"), ClearAction);
    }
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    showActionSheet(*this, *sheet, nullptr);
}

// MARK: Swipes

std::optional<ui::TableViewCell::EditingStyle> VKDownloadHistoryController::editingStyleForRow(ui::TableView&,
    ui::IndexPath path)
{
    auto resource = resourceAtIndexPath(path);
    auto item = asItem(resource);
    if (!resource || (item && item->isActive()))
        return ui::TableViewCell::EditingStyle::None;
    return ui::TableViewCell::EditingStyle::Delete;
}

std::optional<std::string> VKDownloadHistoryController::titleForDeleteConfirmationButton(ui::TableView&,
    ui::IndexPath path)
{
    return asItem(resourceAtIndexPath(path)) ? core::localized("Delete") : text("Clear");
}

void VKDownloadHistoryController::commitEditing(ui::TableView&, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    auto resource = resourceAtIndexPath(path);
    if (style != ui::TableViewCell::EditingStyle::Delete || !resource)
        return;
    auto item = asItem(resource);
    if (!item) {
        clearCompletedDownload(resource, true);
        return;
    }
    if (item->isActive())
        return;
    auto sheet = VKActionSheet::create(text("Partial Download"), std::static_pointer_cast<ui::ActionSheetDelegate>(
        std::static_pointer_cast<VKDownloadHistoryController>(shared_from_this())));
    sheet->setTag(PartialDownloadActionSheetTag);
    sheet->setUserInfo(core::Value(std::static_pointer_cast<core::Object>(resource)));
    sheet->setDestructiveButtonIndex(sheet->addButtonWithTitle(core::localized("Delete"), VKActionSheet::UntaggedButton));
    sheet->setCancelButtonIndex(sheet->addButtonWithTitle(core::localized("Cancel"), VKActionSheet::UntaggedButton));
    showActionSheet(*this, *sheet, nullptr);
}

void VKDownloadHistoryController::clearCompletedDownload(const std::shared_ptr<VKFileResource>& file, bool animated)
{
    auto found = std::find(m_downloads.begin(), m_downloads.end(), file);
    auto manager = VKDownloadManager::sharedManager();
    manager->clearCompletedDownload(file);
    if (m_clearItem)
        m_clearItem->setEnabled(!manager->completedWebDownloads().empty());
    if (found == m_downloads.end() || !isViewLoaded()) {
        updateDownloads();
        return;
    }
    int row = int(found - m_downloads.begin());
    m_downloads.erase(found);
    if (animated && !m_downloads.empty())
        tableView().deleteRows({ ui::IndexPath { 0, row } }, ui::TableView::RowAnimation::Right);
    else
        tableView().reloadData();
}

// MARK: Sheets

void VKDownloadHistoryController::clickedButton(ui::ActionSheet& sheet, int index)
{
    auto* tagged = dynamic_cast<VKActionSheet*>(&sheet);
    if (!tagged || index == sheet.cancelButtonIndex())
        return;
    auto resource = tagged->userInfo().objectAs<VKFileResource>();
    if (!resource)
        return;
    auto item = asItem(resource);
    if (sheet.tag() == PartialDownloadActionSheetTag) {
        if (index != sheet.destructiveButtonIndex() || !item)
            return;
        if (isListedDownload(*item))
            VKDownloadManager::sharedManager()->deleteDownloadResource(item);
        else
            clearCompletedDownload(resource, false);
        updateDownloads();
        return;
    }
    if (sheet.tag() != RowActionSheetTag)
        return;
    auto delegate = uiDelegate();
    switch (tagged->tagForButtonAtIndex(index)) {
    case OpenAction:
        if (delegate && delegate->supportsOpenDownloadResource())
            delegate->downloadHistoryControllerOpenDownloadResource(*this, resource);
        break;
    case ResumeAction:
        if (item)
            VKDownloadManager::sharedManager()->resumeDownloadForResource(item);
        break;
    case RevealAction:
        if (delegate && delegate->supportsRevealDownloadResource())
            delegate->downloadHistoryControllerRevealDownloadResource(*this, resource);
        break;
    case ClearAction:
        clearCompletedDownload(resource, false);
        break;
    default:
        break;
    }
}
