#include "Viewers/PDF/VKPDFOutlineTableViewController.h"

#include "Viewers/Document/VKBookmarksController.h"

#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationBar.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/SearchBar.h"

#include <algorithm>
#include <cmath>

namespace {

const core::Value& valueOf(const core::Value::Dictionary& entry, std::string_view key)
{
    static const core::Value none;
    auto found = entry.find(key);
    return found != entry.end() ? found->second : none;
}

std::string titleOf(const core::Value::Dictionary& entry)
{
    const core::Value& title = valueOf(entry, "Title");
    return title.isString() ? title.string() : std::string();
}

} // namespace

std::shared_ptr<VKPDFOutlineTableViewController> VKPDFOutlineTableViewController::initWithOutlineList(
    std::shared_ptr<const VKPDFOutlineList> outlineList)
{
    auto controller = std::make_shared<VKPDFOutlineTableViewController>();
    controller->m_outlineList = outlineList ? std::move(outlineList) : std::make_shared<const VKPDFOutlineList>();
    controller->m_filtered.reserve(controller->m_outlineList->size());
    return controller;
}

VKPDFOutlineTableViewController::VKPDFOutlineTableViewController()
    : ui::TableViewController(ui::TableView::Style::Plain)
    , m_font(ui::Fonts::boldSystemFont(ui::Fonts::LabelFontSize))
{
}

VKPDFOutlineTableViewController::~VKPDFOutlineTableViewController()
{
    if (m_searchDisplayController)
        m_searchDisplayController->setDelegate({});
}

void VKPDFOutlineTableViewController::viewDidLoad()
{
    TableViewController::viewDidLoad();
    auto self = std::static_pointer_cast<VKPDFOutlineTableViewController>(shared_from_this());
    std::weak_ptr<VKPDFOutlineTableViewController> weak = self;
    navigationItem().setRightBarButtonItem(barButtonSystemItem(ui::BarButtonItem::SystemItem::Done, self, "cancel",
        [weak](ui::BarButtonItem&) {
            if (auto controller = weak.lock())
                controller->cancel();
        }));
    navigationItem().setLeftBarButtonItem(barButtonSystemItem(ui::BarButtonItem::SystemItem::Search, self, "search",
        [weak](ui::BarButtonItem&) {
            if (auto controller = weak.lock())
                controller->search();
        }));

    m_searchBar = ui::SearchBar::create(gfx::Rect(0, 0, 320, 44));
    m_searchBar->setAutoresizingMask(ui::View::FlexibleWidth);
    m_searchBar->setTintColor(gfx::Color::white(0.75f));
    tableView().setTableHeaderView(m_searchBar);
    m_searchDisplayController = ui::SearchDisplayController::create(m_searchBar, self);
    m_searchDisplayController->setDelegate(self);
    m_searchDisplayController->setSearchResultsDataSource(self);
    m_searchDisplayController->setSearchResultsDelegate(self);

    core::RunLoop::current().performAfter(self, 0, [](VKPDFOutlineTableViewController& controller) {
        controller.scrollPastSearchBox();
    });
}

void VKPDFOutlineTableViewController::viewWillAppear(bool animated)
{
    TableViewController::viewWillAppear(animated);
    VKBookmarksController::applyBarAppearance(*this, animated);
}

ui::Application::StatusBarStyle VKPDFOutlineTableViewController::statusBarStyle() const
{
    return ui::Application::StatusBarStyle::BlackOpaque;
}

void VKPDFOutlineTableViewController::search()
{
    if (isViewLoaded())
        tableView().setContentOffset(gfx::Point(0, 0), true);
}

void VKPDFOutlineTableViewController::cancel()
{
    auto keep = shared_from_this();
    if (auto delegate = m_delegate.lock())
        delegate->outlineTableViewControllerDidEnd(*this);
}

void VKPDFOutlineTableViewController::scrollPastSearchBox()
{
    if (isEmpty() || !isViewLoaded() || tableView().numberOfRows(0) == 0)
        return;
    tableView().scrollToRow({ 0, 0 }, ui::TableView::ScrollPosition::Top, false);
}

void VKPDFOutlineTableViewController::filter(const std::string& text)
{
    m_filtered.clear();
    if (!m_outlineList || text.empty())
        return;
    if (m_foldedTitles.size() != m_outlineList->size()) {
        m_foldedTitles.clear();
        m_foldedTitles.reserve(m_outlineList->size());
        for (const auto& entry : *m_outlineList)
            m_foldedTitles.push_back(entry ? core::caseFolded(titleOf(*entry)) : std::string());
    }
    std::string query = core::caseFolded(text);
    for (size_t i = 0; i < m_outlineList->size(); ++i)
        if (valueOf(*(*m_outlineList)[i], "Title").isString() && m_foldedTitles[i].find(query) != std::string::npos)
            m_filtered.push_back((*m_outlineList)[i]);
}

bool VKPDFOutlineTableViewController::shouldReloadForSearchString(ui::SearchDisplayController&, const std::string& text)
{
    filter(text);
    return true;
}

// ---- Rows ----------------------------------------------------------------------

const VKPDFOutlineList& VKPDFOutlineTableViewController::listFor(ui::TableView& table) const
{
    if (isViewLoaded() && &table != &const_cast<VKPDFOutlineTableViewController*>(this)->tableView())
        return m_filtered;
    return *m_outlineList;
}

const VKPDFOutlineEntry* VKPDFOutlineTableViewController::entryAt(ui::TableView& table, ui::IndexPath path) const
{
    const auto& list = listFor(table);
    if (path.row < 0 || size_t(path.row) >= list.size() || !list[size_t(path.row)])
        return nullptr;
    return &list[size_t(path.row)];
}

int VKPDFOutlineTableViewController::shownDepth(const core::Value::Dictionary& entry, float width)
{
    int64_t depth = valueOf(entry, "Depth").toInteger();
    int64_t limit = std::max<int64_t>(0, int64_t(std::floor(width * 0.5f / IndentationWidth)));
    return int(std::clamp<int64_t>(depth, 0, limit));
}

int VKPDFOutlineTableViewController::numberOfRows(ui::TableView& table, int)
{
    return int(listFor(table).size());
}

std::shared_ptr<ui::TableViewCell> VKPDFOutlineTableViewController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, CellIdentifier);
        cell->textLabel().setFont(m_font);
        cell->textLabel().setNumberOfLines(0);
        cell->textLabel().setLineBreakMode(gfx::LineBreakMode::WordWrap);
    }
    const VKPDFOutlineEntry* entry = entryAt(table, path);
    cell->textLabel().setText(entry ? titleOf(**entry) : std::string());
    return cell;
}

int VKPDFOutlineTableViewController::indentationLevelForRow(ui::TableView& table, ui::IndexPath path)
{
    if (&table != &tableView())
        return 0;
    const VKPDFOutlineEntry* entry = entryAt(table, path);
    return entry ? shownDepth(**entry, table.bounds().width()) : 0;
}

// Result rows measure at their entry's depth too, so the height cached in
// the shared entry is the same whichever table asked first.
std::optional<float> VKPDFOutlineTableViewController::heightForRow(ui::TableView& table, ui::IndexPath path)
{
    const VKPDFOutlineEntry* entry = entryAt(table, path);
    if (!entry)
        return MinimumRowHeight;
    core::Value::Dictionary& fields = **entry;
    if (auto cached = fields.find("Height"); cached != fields.end() && cached->second.isNumber())
        return float(cached->second.toReal());
    float width = table.bounds().width();
    float measureWidth = std::max(1.0f, width - IndentationWidth * float(shownDepth(fields, width)) - RowPadding);
    std::string title = titleOf(fields);
    float textHeight = title.empty() ? 0
                                     : ui::Fonts::sizeOfString(title, m_font, gfx::Size(measureWidth, table.bounds().height()),
                                           gfx::LineBreakMode::WordWrap)
                                           .height;
    float height = textHeight + RowPadding <= MinimumRowHeight ? MinimumRowHeight : textHeight + RowPadding;
    fields["Height"] = double(height);
    return height;
}

void VKPDFOutlineTableViewController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto keep = shared_from_this();
    const VKPDFOutlineEntry* entry = entryAt(table, path);
    core::Value target = entry ? valueOf(**entry, "Target") : core::Value();
    auto delegate = m_delegate.lock();
    if (delegate) {
        delegate->showDestination(target);
        delegate->outlineTableViewControllerDidEnd(*this);
    }
    table.deselectRow(path, true);
}
