#include "Platform/UI/TableView.h"

#include "Platform/UI/Checks.h"
#include "Platform/UI/TableViewBatchUpdates.h"
#include "Platform/UI/TableViewReorderControl.h"

#include <algorithm>

namespace ui {

std::shared_ptr<TableView> TableView::create(const gfx::Rect& frame, Style style)
{
    return make<TableView>(frame, style);
}

TableView::TableView(Style style)
    : m_style(style)
    , m_sectionHeaderHeight(style == Style::Grouped ? GroupedSectionSpacing : PlainSectionHeaderHeight)
    , m_sectionFooterHeight(style == Style::Grouped ? GroupedSectionSpacing : PlainSectionHeaderHeight)
    , m_updates(std::make_unique<TableViewBatchUpdates>())
{
    setAlwaysBounceVertical(true);
    m_deletion.attach(*this);
}

TableView::~TableView() = default;

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource)
{
    m_dataSource = std::move(dataSource);
    reload();
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate)
{
    ScrollView::setDelegate(delegate);
    m_tableDelegate = std::move(delegate);
    reload();
}

void TableView::setRowHeight(float height)
{
    requireFinite(height, "TableView::setRowHeight");
    m_rowHeight = std::max(0.0f, height);
    reload();
}

void TableView::reload()
{
    m_loaded = false;
    setNeedsLayout();
}

void TableView::replaceView(std::shared_ptr<View>& slot, std::shared_ptr<View> view)
{
    if (slot)
        slot->removeFromSuperview();
    slot = std::move(view);
    if (slot)
        addSubview(slot);
    reload();
}

void TableView::setTableHeaderView(std::shared_ptr<View> view)
{
    replaceView(m_tableHeaderView, std::move(view));
}

void TableView::setTableFooterView(std::shared_ptr<View> view)
{
    replaceView(m_tableFooterView, std::move(view));
}

// Geometry

void TableView::computeGeometry()
{
    auto source = dataSource();
    auto d = tableDelegate();
    const TableViewGeometry::Defaults defaults { m_style == Style::Grouped, m_rowHeight, m_sectionHeaderHeight,
        m_sectionFooterHeight, GroupedTitledHeaderHeight };
    double y = m_geometry.build(*this, source.get(), d.get(), defaults,
        m_tableHeaderView ? m_tableHeaderView->frame().height() : 0);
    if (m_tableHeaderView) {
        gfx::Rect f = m_tableHeaderView->frame();
        m_tableHeaderView->setFrame({ 0, 0, bounds().width(), f.height() });
    }
    if (m_tableFooterView) {
        gfx::Rect f = m_tableFooterView->frame();
        m_tableFooterView->setFrame({ 0, float(y), bounds().width(), f.height() });
        y += f.height();
    }
    setContentSize({ bounds().width(), float(y) });
    m_loaded = true;
    // A grouped table draws the panels behind its rows: they follow the rows.
    if (m_style == Style::Grouped)
        setNeedsDisplay();
}

int TableView::numberOfRows(int section) const
{
    return m_geometry.rows(section);
}

bool TableView::isValid(IndexPath path) const
{
    return m_geometry.isValid(path);
}

void TableView::requireValid(IndexPath path, const char* what) const
{
    m_geometry.requireValid(path, what);
}

gfx::Rect TableView::rectForSection(int section) const
{
    return m_geometry.sectionRect(section, bounds().width());
}

gfx::Rect TableView::rectForHeader(int section) const
{
    return m_geometry.headerRect(section, bounds().width());
}

gfx::Rect TableView::rectForFooter(int section) const
{
    return m_geometry.footerRect(section, bounds().width());
}

gfx::Rect TableView::cellFrame(IndexPath path) const
{
    return m_geometry.rowFrame(path, bounds().width(), m_style == Style::Grouped ? GroupedMargin : 0);
}

gfx::Rect TableView::rectForRow(IndexPath path) const
{
    if (!isValid(path))
        return {};
    gfx::Rect frame = cellFrame(path);
    return { 0, frame.y(), bounds().width(), frame.height() };
}

std::vector<IndexPath> TableView::indexPathsForRows(const gfx::Rect& rect) const
{
    return m_geometry.rowsIn(rect);
}

std::optional<IndexPath> TableView::indexPathForRow(gfx::Point point) const
{
    auto paths = indexPathsForRows({ point.x, point.y, 1, 0.001f });
    for (auto& path : paths)
        if (rectForRow(path).contains(point))
            return path;
    return std::nullopt;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) const
{
    return m_cells.pathOf(cell);
}

TableViewCell* TableView::cellForRow(IndexPath path) const
{
    return m_cells.cell(path);
}

std::vector<TableViewCell*> TableView::visibleCells() const
{
    return m_cells.cells();
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const
{
    return m_cells.paths();
}

View* TableView::headerViewForTesting(int section) const
{
    return m_sectionViews.view(section, false);
}

// Cells

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& identifier)
{
    return m_cells.dequeue(identifier);
}

void TableView::dropAllCells()
{
    m_cells.dropAll();
    m_sectionViews.clear();
}

TableViewCell::EditingStyle TableView::editingStyleForRow(IndexPath path)
{
    auto d = tableDelegate();
    auto style = d ? d->editingStyleForRow(*this, path) : std::nullopt;
    return style.value_or(TableViewCell::EditingStyle::Delete);
}

// Layout makes the rows that meet the bounds and only those: scrolled-out
// cells go to the reuse queue, new ones come from the data source and are
// announced in row order.
void TableView::materialise()
{
    gfx::Rect visible = bounds();
    m_cells.layout(*this, indexPathsForRows(visible), [this](IndexPath path) { return cellFrame(path); });
    m_sectionViews.layout(*this, m_geometry, visible);
}

bool TableView::delaysTouchesInContentView(const View* view) const
{
    if (view && indexView() && view->isDescendantOfView(indexView()))
        return false;
    // A row's grip moves the row at once.
    if (dynamic_cast<const TableViewReorderControl*>(view))
        return false;
    return ScrollView::delaysTouchesInContentView(view);
}

void TableView::layoutSubviews()
{
    if (!m_loaded) {
        dropAllCells();
        computeGeometry();
        reloadSectionIndexTitles();
    }
    if (contentSize().width != bounds().width())
        setContentSize({ bounds().width(), contentSize().height });
    materialise();
    m_index.layout(*this);
    ScrollView::layoutSubviews();
}

void TableView::reloadData()
{
    requireMainThread("TableView::reloadData");
    auto keep = shared_from_this();
    cancelDeletion();
    dropAllCells();
    m_selected.reset();
    computeGeometry();
    keepPlace(m_input.place());
    reloadSectionIndexTitles();
    gfx::Point offset = contentOffset();
    gfx::Point most = maximumContentOffset();
    if (offset.y > most.y)
        setContentOffset({ offset.x, most.y });
    setNeedsLayout();
}

void TableView::reloadSectionIndexTitles()
{
    m_index.reload(*this);
    setNeedsLayout();
}

void TableView::didMoveToWindow()
{
    if (window())
        setNeedsLayout();
}

// Scrolling

void TableView::scrollToRow(IndexPath path, ScrollPosition position, bool animated)
{
    if (!m_loaded)
        computeGeometry();
    requireValid(path, "scrollToRow");
    gfx::Rect row = rectForRow(path);
    float height = bounds().height();
    gfx::Point offset = contentOffset();
    switch (position) {
    case ScrollPosition::Top:
        offset.y = row.y();
        break;
    case ScrollPosition::Middle:
        offset.y = row.midY() - height / 2;
        break;
    case ScrollPosition::Bottom:
        offset.y = row.maxY() - height;
        break;
    case ScrollPosition::None:
        scrollRectToVisible(row, animated);
        return;
    }
    offset.y = std::clamp(offset.y, minimumContentOffset().y, maximumContentOffset().y);
    setContentOffset(offset, animated);
}

void TableView::tapIndexTitle(int index)
{
    auto section = m_index.sectionForTitle(*this, index);
    if (!section)
        return;
    stopScrolling();
    float y = std::clamp(rectForHeader(*section).y(), minimumContentOffset().y, maximumContentOffset().y);
    setContentOffset({ contentOffset().x, y });
}

// Selection

void TableView::select(IndexPath path, bool notify)
{
    auto d = tableDelegate();
    if (m_selected && *m_selected != path) {
        IndexPath old = *m_selected;
        if (notify && d) {
            auto really = d->willDeselectRow(*this, old);
            if (really && *really == old) {
                deselectRow(old, false);
                d->didDeselectRow(*this, old);
            }
        } else {
            deselectRow(old, false);
        }
    }
    m_selected = path;
    if (auto* cell = cellForRow(path))
        cell->setSelected(true);
    m_input.setPlace(*this, path);
    if (notify && d)
        d->didSelectRow(*this, path);
}

void TableView::keepPlace(std::optional<IndexPath> path)
{
    m_input.setPlace(*this, path && isValid(*path) ? path : std::nullopt);
}

void TableView::selectRow(std::optional<IndexPath> path, bool animated, ScrollPosition position)
{
    if (!path) {
        if (m_selected)
            deselectRow(*m_selected, animated);
        return;
    }
    requireValid(*path, "selectRow");
    select(*path, false);
    if (position != ScrollPosition::None)
        scrollToRow(*path, position, animated);
}

void TableView::deselectRow(IndexPath path, bool)
{
    if (m_selected != path)
        return;
    m_selected.reset();
    if (auto* cell = cellForRow(path))
        cell->setSelected(false);
}

void TableView::tapRow(IndexPath path)
{
    requireValid(path, "tapRow");
    if (!m_allowsSelection || (m_editing && !m_allowsSelectionDuringEditing))
        return;
    auto keep = shared_from_this();
    auto d = tableDelegate();
    std::optional<IndexPath> target = d ? d->willSelectRow(*this, path) : std::optional<IndexPath> { path };
    if (!target || !isValid(*target))
        return;
    select(*target, true);
}

namespace {

bool isPageKey(KeyCommand command)
{
    return command == KeyCommand::PageUp || command == KeyCommand::PageDown || command == KeyCommand::Home
        || command == KeyCommand::End;
}

// The row wholly in sight nearest the top (`step` -1) or the bottom (1)
// that may be chosen.
std::optional<IndexPath> rowInSight(TableView& table, int step)
{
    auto shown = table.indexPathsForVisibleRows();
    gfx::Rect visible = table.bounds();
    auto d = table.tableDelegate();
    auto fits = [&](IndexPath path) {
        gfx::Rect row = table.rectForRow(path);
        return row.minY() >= visible.minY() - 0.5f && row.maxY() <= visible.maxY() + 0.5f
            && (!d || d->canSelectRow(table, path));
    };
    if (step < 0) {
        auto found = std::find_if(shown.begin(), shown.end(), fits);
        return found == shown.end() ? std::nullopt : std::optional<IndexPath>(*found);
    }
    auto found = std::find_if(shown.rbegin(), shown.rend(), fits);
    return found == shown.rend() ? std::nullopt : std::optional<IndexPath>(*found);
}

} // namespace

bool TableView::performKeyCommand(KeyCommand command)
{
    bool selects = m_allowsSelection && (!m_editing || m_allowsSelectionDuringEditing);
    auto keep = shared_from_this();
    // With a place, the page keys take it along: to the row wholly in
    // sight at the top or the bottom of where they scrolled.
    if (selects && isPageKey(command) && (m_selected || m_input.place())) {
        bool scrolled = ScrollView::performKeyCommand(command);
        layoutIfNeeded();
        auto row = rowInSight(*this, command == KeyCommand::PageUp || command == KeyCommand::Home ? -1 : 1);
        if (!row || row == m_selected)
            return scrolled;
        m_input.setPlace(*this, m_input.place(), true);
        select(*row, false);
        return true;
    }
    if (!selects || (command != KeyCommand::Up && command != KeyCommand::Down && command != KeyCommand::Return))
        return ScrollView::performKeyCommand(command);
    if (command == KeyCommand::Return) {
        auto row = m_selected && isValid(*m_selected) ? m_selected : m_input.place();
        if (!row || !isValid(*row))
            return false;
        m_input.setPlace(*this, row, true);
        if (auto* cell = cellForRow(*row); cell && cell->activateControl())
            return true;
        tapRow(*row);
        return true;
    }
    layoutIfNeeded();
    auto next = TableViewRowInput::nextRow(*this, command == KeyCommand::Down ? 1 : -1);
    if (!next)
        return ScrollView::performKeyCommand(command);
    m_input.setPlace(*this, m_input.place(), true);
    select(*next, false);
    scrollToRow(*next, ScrollPosition::None, false);
    return true;
}

void TableView::tapAccessory(IndexPath path)
{
    requireValid(path, "tapAccessory");
    if (auto d = tableDelegate())
        d->accessoryButtonTapped(*this, path);
}

void TableView::touchesBegan(const TouchSet& touches, const Event&)
{
    m_input.touchesBegan(*this, touches);
}

void TableView::touchesEnded(const TouchSet& touches, const Event&)
{
    m_input.touchesEnded(*this, touches);
}

void TableView::touchesCancelled(const TouchSet&, const Event&)
{
    m_input.touchesCancelled(*this);
}

// Editing

void TableView::setEditing(bool editing, bool animated)
{
    auto keep = shared_from_this();
    cancelDeletion();
    m_editing = editing;
    auto source = dataSource();
    for (auto& [path, cell] : m_cells.shown()) {
        cell->setEditingStyle(editing ? editingStyleForRow(path) : TableViewCell::EditingStyle::Delete);
        cell->setShowsReorderControl(source && source->canMoveRow(*this, path));
        cell->setEditing(editing, animated);
    }
}

void TableView::commitEdit(IndexPath path)
{
    requireValid(path, "commitEdit");
    auto source = dataSource();
    if (!source || !source->supportsCommitEditing())
        return;
    auto keep = shared_from_this();
    source->commitEditing(*this, editingStyleForRow(path), path);
}

bool TableView::canHandleSwipes()
{
    auto source = dataSource();
    return !m_editing && source && source->supportsCommitEditing();
}

void TableView::swipeCell(TableViewCell& cell, gfx::Point)
{
    m_deletion.swipe(*this, cell);
}

bool TableView::isOnEditingControl(IndexPath path, gfx::Point point) const
{
    auto* cell = const_cast<TableView*>(this)->cellForRow(path);
    if (!cell || !cell->isEditing() || cell->editingStyle() == TableViewCell::EditingStyle::None
        || !cell->shouldIndentWhileEditing())
        return false;
    return cell->convertPointFrom(point, this).x < TableViewCell::EditingControlWidth + 4;
}

void TableView::tapEditingControl(IndexPath path)
{
    requireValid(path, "tapEditingControl");
    m_deletion.tapDisc(*this, path);
}

std::optional<IndexPath> TableView::swipedRow() const
{
    return m_deletion.row();
}

void TableView::confirmDeletion()
{
    m_deletion.confirm(*this);
}

void TableView::cancelDeletion()
{
    m_deletion.cancel(*this);
}

// Updates

void TableView::beginUpdates()
{
    m_updates->begin();
}

// Checks the merged change against the data source's new counts, then moves
// the shown cells to their new rows: deletes are counted in the old
// numbering, inserts in the new one.
void TableView::endUpdates()
{
    auto update = m_updates->end();
    if (!update)
        return;
    auto keep = shared_from_this();
    if (!m_loaded) {
        computeGeometry();
        setNeedsLayout();
        return;
    }
    cancelDeletion();
    auto source = dataSource();
    int newSections = source ? std::max(0, source->numberOfSections(*this)) : 0;
    auto moved = TableViewBatchUpdates::check(*update, m_geometry, newSections,
        [&](int section) { return source ? std::max(0, source->numberOfRows(*this, section)) : 0; });
    const bool animated = update->animation != RowAnimation::None;
    if (!moved) {
        m_cells.retireAll(animated);
        m_sectionViews.clear();
        m_selected.reset();
        computeGeometry();
        keepPlace(m_input.place());
        setNeedsLayout();
        return;
    }
    m_cells.remap(*moved, { update->reloaded.begin(), update->reloaded.end() }, animated);
    if (m_selected)
        m_selected = (*moved)(*m_selected);
    auto place = m_input.place();
    computeGeometry();
    keepPlace(place ? (*moved)(*place) : std::nullopt);
    for (auto& [path, cell] : m_cells.shown())
        cell->setFrame(cellFrame(path));
    setNeedsLayout();
}

void TableView::insertRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_updates->add({ {}, paths, {}, {}, {}, animation });
    endUpdates();
}

void TableView::deleteRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_updates->add({ paths, {}, {}, {}, {}, animation });
    endUpdates();
}

void TableView::reloadRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_updates->add({ {}, {}, paths, {}, {}, animation });
    endUpdates();
}

void TableView::insertSections(const std::vector<int>& sections, RowAnimation animation)
{
    beginUpdates();
    m_updates->add({ {}, {}, {}, {}, sections, animation });
    endUpdates();
}

void TableView::deleteSections(const std::vector<int>& sections, RowAnimation animation)
{
    beginUpdates();
    m_updates->add({ {}, {}, {}, sections, {}, animation });
    endUpdates();
}

void TableView::moveRow(IndexPath from, IndexPath proposed)
{
    TableViewBatchUpdates::checkMove(m_geometry, from, proposed);
    auto keep = shared_from_this();
    auto d = tableDelegate();
    IndexPath to = (d ? d->targetIndexPathForMove(*this, from, proposed) : std::nullopt).value_or(proposed);
    if (auto source = dataSource())
        source->moveRow(*this, from, to);
    // The table moves its own rows: the cells stay, no cell is asked for.
    auto shift = [&](IndexPath path) { return TableViewBatchUpdates::moved(path, from, to); };
    m_cells.remap(shift, {}, false);
    if (m_selected)
        m_selected = shift(*m_selected);
    auto place = m_input.place();
    computeGeometry();
    keepPlace(place ? std::optional<IndexPath>(shift(*place)) : std::nullopt);
    for (auto& [path, cell] : m_cells.shown())
        if (isValid(path))
            cell->setFrame(cellFrame(path));
    setNeedsLayout();
}

} // namespace ui
