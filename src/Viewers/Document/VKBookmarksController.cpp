#include "Viewers/Document/VKBookmarksController.h"

#include "Viewers/Document/VKBookmarkAddCell.h"

#include "Shell/Interface/AlertViewAdditions.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/ObjectAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TextField.h"

#include <fmt/format.h>

namespace {

void setBookmarkImages(ui::TableViewCell& cell)
{
    cell.imageView().setImage(ui::Images::imageNamed("VKTableCellBookmark.png"));
    cell.imageView().setHighlightedImage(ui::Images::imageNamed("VKTableCellBookmarkSelected.png"));
}

} // namespace

std::shared_ptr<VKBookmarksController> VKBookmarksController::initWithFileAtPath(const std::string& path)
{
    auto controller = std::make_shared<VKBookmarksController>();
    controller->m_path = path;
    controller->setTitle(core::localized("Bookmarks"));
    controller->reloadFromStore();
    return controller;
}

VKBookmarksController::VKBookmarksController() : ui::TableViewController(ui::TableView::Style::Plain) { }

VKBookmarksController::~VKBookmarksController() = default;

void VKBookmarksController::reloadFromStore()
{
    auto stored = VKFileSettingsManager::defaultManager()->bookmarksForFile(m_path);
    m_bookmarks = stored ? std::move(*stored) : core::Value::Array();
}

std::string VKBookmarksController::displayName(std::string_view name)
{
    std::string line;
    size_t end = name.size();
    if (end > MaximumShownNameLength) {
        end = MaximumShownNameLength;
        // Never inside a UTF-8 sequence.
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
            --end;
    }
    line.reserve(end);
    for (char c : name.substr(0, end))
        line.push_back(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
    return line;
}

void VKBookmarksController::addBookmarkWithOffset(gfx::Point offset, float zoom)
{
    m_mode = Mode::Add;
    setTitle(core::localized("Add Bookmark"));
    std::string name = fmt::format(fmt::runtime(core::localized("Bookmark {}")), m_bookmarks.size() + 1);
    m_bookmarks = { core::Value::makeDictionary({
        { VKBookmarkNameKey, name },
        { VKBookmarkOffsetKey, double(offset.y) },
        { VKBookmarkInsetKey, double(offset.x) },
        { VKBookmarkZoomKey, double(zoom) },
    }) };
    if (!m_addCell) {
        m_addCell = VKBookmarkAddCell::initWithStyle(ui::TableViewCell::Style::Default, AddCellIdentifier);
        setBookmarkImages(*m_addCell);
    }
    m_addCell->textField().setText(name);
    if (isViewLoaded()) {
        tableView().reloadData();
        setupBarButtons();
    }
}

void VKBookmarksController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    setupBarButtons();
}

void VKBookmarksController::setupBarButtons()
{
    auto self = shared_from_this();
    if (m_mode == Mode::Add) {
        navigationItem().setLeftBarButtonItem(barButtonItemWithTitle(core::localized("Cancel"),
            ui::BarButtonItem::Style::Bordered, self, "cancelClicked", [this](ui::BarButtonItem&) {
                cancelClicked();
            }));
        navigationItem().setRightBarButtonItem(barButtonSystemItem(ui::BarButtonItem::SystemItem::Save, self,
            "saveClicked", [this](ui::BarButtonItem&) {
                saveClicked();
            }));
        return;
    }
    auto edit = editButtonItem();
    edit->setEnabled(!m_bookmarks.empty());
    navigationItem().setLeftBarButtonItem(edit);
    navigationItem().setRightBarButtonItem(barButtonItemWithTitle(core::localized("Done"), ui::BarButtonItem::Style::Done,
        self, "doneClicked", [this](ui::BarButtonItem&) {
            doneClicked();
        }));
}

void VKBookmarksController::applyBarAppearance(ui::ViewController& controller, bool animated)
{
    if (auto* application = ui::Application::shared())
        application->setStatusBarStyle(ui::Application::StatusBarStyle::BlackOpaque, animated);
    if (auto* navigation = controller.navigationController()) {
        navigation->navigationBar().setBarStyle(ui::NavigationBar::Style::Black);
        navigation->navigationBar().setTranslucent(false);
    }
}

void VKBookmarksController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    applyBarAppearance(*this, animated);
}

void VKBookmarksController::viewDidAppear(bool animated)
{
    TableViewController::viewDidAppear(animated);
    if (m_mode != Mode::Add || !m_addCell)
        return;
    vkPerformSelectorOnNextRunLoopRun(std::static_pointer_cast<VKBookmarksController>(shared_from_this()),
        [](VKBookmarksController& controller) {
            if (controller.m_addCell)
                controller.m_addCell->startEditing();
        });
}

ui::Application::StatusBarStyle VKBookmarksController::statusBarStyle() const
{
    return ui::Application::StatusBarStyle::BlackOpaque;
}

void VKBookmarksController::setEditing(bool editing, bool animated)
{
    TableViewController::setEditing(editing, animated);
    if (m_mode == Mode::List)
        if (auto done = navigationItem().rightBarButtonItem())
            done->setEnabled(!editing);
}

void VKBookmarksController::tellEnd()
{
    if (auto delegate = m_delegate.lock())
        delegate->bookmarksControllerDidEnd(*this);
}

void VKBookmarksController::saveClicked()
{
    if (m_mode != Mode::Add || !m_addCell || m_bookmarks.empty())
        return;
    std::string name = m_addCell->textField().text();
    auto settings = VKFileSettingsManager::defaultManager();
    if (auto stored = settings->bookmarksForFile(m_path)) {
        for (const auto& bookmark : *stored) {
            if (bookmark[VKBookmarkNameKey].isString() && bookmark[VKBookmarkNameKey].string() == name) {
                showAlertViewWithTitle(core::localized("Warning"),
                    fmt::format(fmt::runtime(core::localized("The bookmark \"{}\" already exists.\nPlease choose another name.")),
                        name),
                    core::localized("OK"));
                return;
            }
        }
    }
    core::Value bookmark = m_bookmarks.back();
    bookmark.mutableDictionary()[VKBookmarkNameKey] = name;
    if (!settings->insertBookmark(bookmark, m_path))
        core::log("Warning, failed to insert bookmark: {}", bookmark.description());
    tellEnd();
}

void VKBookmarksController::cancelClicked()
{
    tellEnd();
}

void VKBookmarksController::doneClicked()
{
    tellEnd();
}

// ---- Table ---------------------------------------------------------------------

int VKBookmarksController::numberOfRows(ui::TableView&, int)
{
    return int(m_bookmarks.size());
}

std::shared_ptr<ui::TableViewCell> VKBookmarksController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    if (m_mode == Mode::Add && size_t(path.row) + 1 == m_bookmarks.size()) {
        if (auto cell = table.dequeueReusableCell(AddCellIdentifier))
            return cell;
        return m_addCell;
    }
    auto cell = table.dequeueReusableCell(ReadCellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, ReadCellIdentifier);
        setBookmarkImages(*cell);
        cell->textLabel().setNumberOfLines(1);
        cell->textLabel().setLineBreakMode(gfx::LineBreakMode::TailTruncation);
    }
    const core::Value& bookmark = size_t(path.row) < m_bookmarks.size() ? m_bookmarks[size_t(path.row)] : core::Value();
    cell->textLabel().setText(displayName(bookmark[VKBookmarkNameKey].toString()));
    return cell;
}

std::optional<ui::IndexPath> VKBookmarksController::willSelectRow(ui::TableView&, ui::IndexPath path)
{
    if (m_mode == Mode::Add)
        return std::nullopt;
    return path;
}

void VKBookmarksController::didSelectRow(ui::TableView&, ui::IndexPath path)
{
    if (m_mode != Mode::List || size_t(path.row) >= m_bookmarks.size())
        return;
    core::Value bookmark = m_bookmarks[size_t(path.row)];
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock())
        delegate->bookmarksController(*this, bookmark);
    tellEnd();
}

std::optional<ui::TableViewCell::EditingStyle> VKBookmarksController::editingStyleForRow(ui::TableView&, ui::IndexPath)
{
    return m_mode == Mode::List ? ui::TableViewCell::EditingStyle::Delete : ui::TableViewCell::EditingStyle::None;
}

void VKBookmarksController::commitEditing(ui::TableView& table, ui::TableViewCell::EditingStyle style, ui::IndexPath path)
{
    if (m_mode != Mode::List || style != ui::TableViewCell::EditingStyle::Delete || size_t(path.row) >= m_bookmarks.size())
        return;
    if (!VKFileSettingsManager::defaultManager()->removeBookmark(m_bookmarks[size_t(path.row)], m_path)) {
        core::log("Warning, removeBookmarkForFile failed: {}", m_path);
        return;
    }
    m_bookmarks.erase(m_bookmarks.begin() + path.row);
    table.deleteRows({ path }, ui::TableView::RowAnimation::Right);
}

void VKBookmarksController::moveRow(ui::TableView&, ui::IndexPath from, ui::IndexPath to)
{
    if (m_mode != Mode::List || from.row < 0 || to.row < 0)
        return;
    if (!VKFileSettingsManager::defaultManager()->moveBookmarkAtRow(size_t(from.row), size_t(to.row), m_path)) {
        core::log("Warning, failure for moveBookmarkAtRow:{} toRow:{} forPath:{}", from.row, to.row, m_path);
        // The table moves the row after this call; the order kept comes
        // back on the next pass.
        reloadFromStore();
        vkPerformSelectorOnNextRunLoopRun(std::static_pointer_cast<VKBookmarksController>(shared_from_this()),
            [](VKBookmarksController& controller) {
                if (controller.isViewLoaded())
                    controller.tableView().reloadData();
            });
        return;
    }
    reloadFromStore();
}
