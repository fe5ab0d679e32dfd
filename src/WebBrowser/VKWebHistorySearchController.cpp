#include "WebBrowser/VKWebHistorySearchController.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Keyboard.h"
#include "Platform/UI/Label.h"
#include "WebBrowser/VKWebHistorySearchPlaceholderView.h"
#include "WebBrowser/VKWebListFile.h"

#include <algorithm>

namespace {

constexpr const char* CellIdentifier = "VKWebHistoryCell";

} // namespace

std::shared_ptr<VKWebHistorySearchController> VKWebHistorySearchController::create()
{
    return std::make_shared<VKWebHistorySearchController>();
}

VKWebHistorySearchController::~VKWebHistorySearchController()
{
    if (auto* placeholder = dynamic_cast<VKWebHistorySearchPlaceholderView*>(isViewLoaded() ? view().get() : nullptr))
        placeholder->setController(nullptr);
}

void VKWebHistorySearchController::loadView()
{
    std::shared_ptr<ui::View> root;
    if (m_fullscreen) {
        auto placeholder = VKWebHistorySearchPlaceholderView::create();
        placeholder->setController(this);
        placeholder->setBackgroundColor(gfx::Color::white(0, 0.8f));
        root = placeholder;
    } else {
        root = ui::View::create();
    }
    root->setFrame(gfx::Rect(0, 0, 320, 460));
    root->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_tableView = ui::TableView::create(root->bounds(), ui::TableView::Style::Plain);
    m_tableView->setAutoresizingMask(
        m_fullscreen ? unsigned(ui::View::FlexibleWidth) : ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    auto self = std::static_pointer_cast<VKWebHistorySearchController>(shared_from_this());
    m_tableView->setDataSource(std::static_pointer_cast<ui::TableViewDataSource>(self));
    m_tableView->setDelegate(std::static_pointer_cast<ui::TableViewDelegate>(self));
    root->addSubview(m_tableView);
    setView(root);
    updateTableVisibility();

    std::weak_ptr<VKWebHistorySearchController> weak = self;
    auto& center = core::NotificationCenter::defaultCenter();
    m_keyboardObservations.clear();
    m_keyboardObservations.push_back(center.observe(ui::Keyboard::didShowNotification, nullptr,
        [weak](const ui::Keyboard::Change& change) {
            if (auto controller = weak.lock())
                controller->fitTableAboveKeyboard(change.frameEnd);
        }));
    m_keyboardObservations.push_back(center.observe(ui::Keyboard::willHideNotification, nullptr,
        [weak](const core::Notification& notification) {
            if (auto controller = weak.lock())
                controller->keyboardWillHide(notification);
        }));
    // A turn moves the keyboard without news of it: the list follows.
    m_keyboardObservations.push_back(center.observe(ui::Application::didChangeStatusBarOrientationNotification, nullptr,
        [weak](const core::Notification&) {
            auto controller = weak.lock();
            auto& keyboard = ui::Keyboard::shared();
            if (controller && keyboard.isVisible() && !keyboard.isHardware())
                controller->fitTableAboveKeyboard(keyboard.frame());
        }));
}

void VKWebHistorySearchController::viewDidUnload()
{
    m_keyboardObservations.clear();
    m_tableView.reset();
}

void VKWebHistorySearchController::setItemFilter(std::string filter)
{
    m_itemFilter = std::move(filter);
    reloadItems();
}

void VKWebHistorySearchController::setShowAllItems(bool show)
{
    m_showAllItems = show;
    reloadItems();
}

void VKWebHistorySearchController::reloadItems()
{
    auto history = VKWebHistory::sharedWebHistory();
    if (!m_itemFilter.empty())
        m_items = history->itemsMatchingURLFragment(m_itemFilter);
    else if (m_showAllItems)
        m_items = history->allItems();
    else
        m_items.clear();
    std::stable_sort(m_items.begin(), m_items.end(), VKWebHistoryCompareItemsByURLLength);
    if (m_tableView)
        m_tableView->reloadData();
    updateTableVisibility();
}

void VKWebHistorySearchController::updateTableVisibility()
{
    if (m_tableView)
        m_tableView->setHidden(m_fullscreen && !m_showAllItems && m_items.empty());
}

std::shared_ptr<ui::TableViewCell> VKWebHistorySearchController::historyCell(ui::TableView& table,
    const VKWebHistoryItem& item)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Subtitle, CellIdentifier);
        cell->detailTextLabel()->setLineBreakMode(gfx::LineBreakMode::MiddleTruncation);
    }
    cell->textLabel().setText(
        item.title.empty() ? core::localized("Untitled", "WebBrowser") : VKWebListFile::singleLine(item.title));
    cell->detailTextLabel()->setText(VKWebListFile::singleLine(item.URL));
    return cell;
}

int VKWebHistorySearchController::numberOfRows(ui::TableView&, int)
{
    return int(m_items.size());
}

std::shared_ptr<ui::TableViewCell> VKWebHistorySearchController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    return historyCell(table, m_items.at(size_t(path.row)));
}

void VKWebHistorySearchController::commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style,
    ui::IndexPath path)
{
    if (style != ui::TableViewCell::EditingStyle::Delete || size_t(path.row) >= m_items.size())
        return;
    VKWebHistory::sharedWebHistory()->removeItem(m_items[size_t(path.row)]);
    m_items.erase(m_items.begin() + path.row);
    table.deleteRows({ path }, ui::TableView::RowAnimation::Fade);
    updateTableVisibility();
}

void VKWebHistorySearchController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (size_t(path.row) < m_items.size()) {
        auto url = core::URL::parse(m_items[size_t(path.row)].URL);
        auto delegate = m_delegate.lock();
        if (url && delegate && delegate->supportsDidSelectHistoryURL())
            delegate->webHistorySearchControllerDidSelectHistoryURL(*this, *url);
    }
    table.deselectRow(path, true);
}

void VKWebHistorySearchController::placeholderTouched()
{
    auto delegate = m_delegate.lock();
    if (delegate && delegate->supportsCancelled())
        delegate->webHistorySearchControllerCancelled(*this);
}

// The list ends where the keyboard begins, so no row hides behind it.
void VKWebHistorySearchController::fitTableAboveKeyboard(const gfx::Rect& keyboardOnScreen)
{
    if (!m_tableView || !isViewLoaded())
        return;
    auto& root = *view();
    gfx::Rect keyboard = root.convertRectFrom(keyboardOnScreen, nullptr);
    gfx::Rect frame = m_tableView->frame();
    frame.size.height = std::max(0.0f, keyboard.minY() - root.bounds().minY());
    m_tableView->setFrame(frame);
}

void VKWebHistorySearchController::keyboardWillHide(const core::Notification&)
{
    if (m_tableView && isViewLoaded())
        m_tableView->setFrame(view()->bounds());
}
