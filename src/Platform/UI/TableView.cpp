#include "Platform/UI/TableView.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Context.h"
#include "Platform/UI/Checks.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/SwipeGestureRecognizer.h"
#include "Platform/UI/TableViewReorderControl.h"
#include "Platform/UI/Touch.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>
#include <set>

namespace ui {

namespace {

// Swipes over rows are seen even while the scroll view's pan tracks the
// same finger.
struct AlongsideScrolling : GestureRecognizerDelegate {
    bool shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override { return true; }
};

// The section index along the right edge: a tap picks the title under it.
class SectionIndexView : public View {
public:
    void touchesEnded(const TouchSet& touches, const Event&) override
    {
        auto* table = dynamic_cast<TableView*>(superview());
        if (!table || touches.empty() || table->sectionIndexTitles().empty())
            return;
        float y = touches.front()->locationInView(this).y;
        int count = int(table->sectionIndexTitles().size());
        int index = std::clamp(int(y / (bounds().height() / float(count))), 0, count - 1);
        table->tapIndexTitle(index);
    }
    void touchesBegan(const TouchSet&, const Event&) override { }
    void touchesMoved(const TouchSet&, const Event&) override { }
};

// A swipe over a row takes the touch from the row; it does not start where
// the content may not lose its touch (a control held, a strip tracked).
class RowSwipe : public SwipeGestureRecognizer {
public:
    bool canBegin() const override
    {
        auto* table = dynamic_cast<TableView*>(view());
        return !table || table->contentMayLoseTouches(touches());
    }
};

// A header or footer the table made from its data source's title.
// A section's title when the source gives no view of its own. In a plain
// table it is a bar across the table, its text inset like the rows'.
class SectionTitleLabel : public Label {
public:
    bool plainBar = false;

    void draw(gfx::Context& context, const gfx::Rect& rect) override
    {
        if (!plainBar) {
            Label::draw(context, rect);
            return;
        }
        const gfx::Rect b = bounds();
        context.setFillColor(gfx::Color::rgb255(150, 164, 176));
        context.fillRect({ b.x(), b.y(), b.width(), b.height() / 2 });
        context.setFillColor(gfx::Color::rgb255(166, 178, 188));
        context.fillRect({ b.x(), b.y() + b.height() / 2, b.width(), b.height() - b.height() / 2 });
        context.setFillColor(gfx::Color::rgb255(129, 143, 155));
        context.fillRect({ b.x(), b.y(), b.width(), 1 });
        drawTextInRect(context, b.insetBy(gfx::EdgeInsets { 0, TextInset, 0, TextInset }));
    }

    static constexpr float TextInset = 12;
};

} // namespace

std::shared_ptr<TableView> TableView::create(const gfx::Rect& frame, Style style)
{
    return make<TableView>(frame, style);
}

TableView::TableView(Style style)
    : m_style(style)
    , m_sectionHeaderHeight(style == Style::Grouped ? GroupedSectionSpacing : PlainSectionHeaderHeight)
    , m_sectionFooterHeight(style == Style::Grouped ? GroupedSectionSpacing : PlainSectionHeaderHeight)
    , m_swipe(std::make_shared<RowSwipe>())
    , m_swipeDelegate(std::make_shared<AlongsideScrolling>())
{
    setAlwaysBounceVertical(true);
    m_swipe->setDirection(SwipeGestureRecognizer::Left | SwipeGestureRecognizer::Right);
    m_swipe->setDelegate(m_swipeDelegate);
    m_swipe->addTarget(nullptr, "swiped", [](GestureRecognizer& recognizer) {
        auto* table = dynamic_cast<TableView*>(recognizer.view());
        if (!table || recognizer.state() != GestureRecognizer::State::Ended || !table->canHandleSwipes())
            return;
        gfx::Point point = recognizer.locationInView(table);
        auto path = table->indexPathForRow(point);
        if (auto* cell = path ? table->cellForRow(*path) : nullptr)
            table->swipeCell(*cell, point);
    });
    addGestureRecognizer(m_swipe);
    panGestureRecognizer().setDelegate(m_swipeDelegate);
}

TableView::~TableView() = default;

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource)
{
    m_dataSource = std::move(dataSource);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate)
{
    ScrollView::setDelegate(delegate);
    m_tableDelegate = std::move(delegate);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setRowHeight(float height)
{
    requireFinite(height, "TableView::setRowHeight");
    m_rowHeight = std::max(0.0f, height);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setSectionHeaderHeight(float height)
{
    requireFinite(height, "TableView::setSectionHeaderHeight");
    m_sectionHeaderHeight = std::max(0.0f, height);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setSectionFooterHeight(float height)
{
    requireFinite(height, "TableView::setSectionFooterHeight");
    m_sectionFooterHeight = std::max(0.0f, height);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setTableHeaderView(std::shared_ptr<View> view)
{
    if (m_tableHeaderView)
        m_tableHeaderView->removeFromSuperview();
    m_tableHeaderView = std::move(view);
    if (m_tableHeaderView)
        addSubview(m_tableHeaderView);
    m_loaded = false;
    setNeedsLayout();
}

void TableView::setTableFooterView(std::shared_ptr<View> view)
{
    if (m_tableFooterView)
        m_tableFooterView->removeFromSuperview();
    m_tableFooterView = std::move(view);
    if (m_tableFooterView)
        addSubview(m_tableFooterView);
    m_loaded = false;
    setNeedsLayout();
}

// Geometry

float TableView::checkedHeight(std::optional<float> height, float fallback, const char* what)
{
    if (!height)
        return fallback;
    if (!(*height >= 0) || !std::isfinite(*height)) {
        core::log("TableView: {} height {} counts as 0", what, *height);
        return 0;
    }
    return *height;
}

void TableView::computeGeometry()
{
    auto source = dataSource();
    auto d = tableDelegate();
    int sections = source ? std::max(0, source->numberOfSections(*this)) : 0;
    m_sections.assign(size_t(sections), {});
    double y = m_tableHeaderView ? m_tableHeaderView->frame().height() : 0;
    for (int s = 0; s < sections; ++s) {
        Section& section = m_sections[size_t(s)];
        section.rows = std::max(0, source->numberOfRows(*this, s));
        auto title = source->titleForHeader(*this, s);
        bool grouped = m_style == Style::Grouped;
        float header = grouped && title && !title->empty() ? std::max(m_sectionHeaderHeight, GroupedTitledHeaderHeight)
                                                           : (grouped || title ? m_sectionHeaderHeight : 0);
        section.header = checkedHeight(d ? d->heightForHeader(*this, s) : std::nullopt, header, "header");
        bool footed = m_style == Style::Grouped || source->titleForFooter(*this, s).has_value();
        section.footer = checkedHeight(d ? d->heightForFooter(*this, s) : std::nullopt,
            footed ? m_sectionFooterHeight : 0, "footer");
        // A delegate without row heights answers nothing for the first row:
        // the section is uniform and costs nothing per row.
        std::optional<float> first = d && section.rows > 0 ? d->heightForRow(*this, { s, 0 }) : std::nullopt;
        if (!first) {
            section.uniformHeight = m_rowHeight;
        } else {
            section.rowTops.resize(size_t(section.rows) + 1);
            section.rowTops[0] = 0;
            for (int r = 0; r < section.rows; ++r) {
                float h = checkedHeight(r == 0 ? first : d->heightForRow(*this, { s, r }), m_rowHeight, "row");
                section.rowTops[size_t(r) + 1] = section.rowTops[size_t(r)] + h;
            }
        }
        section.top = y;
        y += section.height();
    }
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

double TableView::contentHeight() const
{
    return contentSize().height;
}

int TableView::numberOfRows(int section) const
{
    return section >= 0 && section < numberOfSections() ? m_sections[size_t(section)].rows : 0;
}

bool TableView::isValid(IndexPath path) const
{
    return path.section >= 0 && path.section < numberOfSections() && path.row >= 0
        && path.row < m_sections[size_t(path.section)].rows;
}

void TableView::requireValid(IndexPath path, const char* what) const
{
    if (!isValid(path))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::{}: row {} is out of range ({} sections)", what, path.description(), numberOfSections()));
}

gfx::Rect TableView::rectForSection(int section) const
{
    if (section < 0 || section >= numberOfSections())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top), bounds().width(), float(s.height()) };
}

gfx::Rect TableView::rectForHeader(int section) const
{
    if (section < 0 || section >= numberOfSections())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top), bounds().width(), s.header };
}

gfx::Rect TableView::rectForFooter(int section) const
{
    if (section < 0 || section >= numberOfSections())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top + s.header + s.rowsHeight()), bounds().width(), s.footer };
}

gfx::Rect TableView::cellFrame(IndexPath path) const
{
    const Section& s = m_sections[size_t(path.section)];
    double top = s.top + s.header + s.rowTop(path.row);
    double bottom = s.top + s.header + s.rowTop(path.row + 1);
    float x = m_style == Style::Grouped ? GroupedMargin : 0;
    return { x, float(top), bounds().width() - 2 * x, float(bottom - top) };
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
    std::vector<IndexPath> paths;
    if (m_sections.empty() || rect.isEmpty())
        return paths;
    double low = rect.minY(), high = rect.maxY();
    // The first section that ends below the rectangle's top.
    auto first = std::upper_bound(m_sections.begin(), m_sections.end(), low,
        [](double y, const Section& s) { return y < s.top + s.height(); });
    for (auto it = first; it != m_sections.end() && it->top < high; ++it) {
        const Section& s = *it;
        int section = int(it - m_sections.begin());
        double rowsTop = s.top + s.header;
        double from = low - rowsTop, to = high - rowsTop;
        int begin, end;
        if (s.rowTops.empty()) {
            if (s.uniformHeight <= 0)
                continue;
            begin = int(std::floor(from / s.uniformHeight));
            end = int(std::ceil(to / s.uniformHeight));
        } else {
            begin = int(std::upper_bound(s.rowTops.begin(), s.rowTops.end(), from) - s.rowTops.begin()) - 1;
            end = int(std::lower_bound(s.rowTops.begin(), s.rowTops.end(), to) - s.rowTops.begin());
        }
        begin = std::max(0, begin);
        end = std::min(s.rows, end);
        for (int r = begin; r < end; ++r)
            paths.push_back({ section, r });
    }
    return paths;
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
    for (auto& [path, shown] : m_visible)
        if (shown.get() == &cell)
            return path;
    return std::nullopt;
}

TableViewCell* TableView::cellForRow(IndexPath path) const
{
    auto it = m_visible.find(path);
    return it == m_visible.end() ? nullptr : it->second.get();
}

std::vector<TableViewCell*> TableView::visibleCells() const
{
    std::vector<TableViewCell*> cells;
    for (auto& [path, cell] : m_visible)
        cells.push_back(cell.get());
    return cells;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() const
{
    std::vector<IndexPath> paths;
    for (auto& [path, cell] : m_visible)
        paths.push_back(path);
    return paths;
}

View* TableView::headerView(int section) const
{
    auto it = m_sectionViews.find({ section, false });
    return it == m_sectionViews.end() ? nullptr : it->second.get();
}

// Cells

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& identifier)
{
    auto it = m_reuse.find(identifier);
    if (it == m_reuse.end() || it->second.empty())
        return nullptr;
    auto cell = std::move(it->second.back());
    it->second.pop_back();
    cell->prepareForReuse();
    return cell;
}

void TableView::enqueue(std::shared_ptr<TableViewCell> cell)
{
    cell->removeFromSuperview();
    if (!cell->reuseIdentifier().empty())
        m_reuse[cell->reuseIdentifier()].push_back(std::move(cell));
}

void TableView::dropAllCells()
{
    auto visible = std::exchange(m_visible, {});
    for (auto& [path, cell] : visible)
        enqueue(cell);
    for (auto& [key, view] : m_sectionViews)
        view->removeFromSuperview();
    m_sectionViews.clear();
}

std::shared_ptr<TableViewCell> TableView::makeCell(IndexPath path)
{
    auto source = dataSource();
    auto cell = source ? source->cellForRow(*this, path) : nullptr;
    if (!cell)
        throw core::Exception(core::Exception::InternalInconsistency,
            fmt::format("TableView: the data source gave no cell for row {}", path.description()));
    return cell;
}

TableViewCell::EditingStyle TableView::editingStyleForRow(IndexPath path)
{
    auto d = tableDelegate();
    auto style = d ? d->editingStyleForRow(*this, path) : std::nullopt;
    return style.value_or(TableViewCell::EditingStyle::Delete);
}

void TableView::configure(TableViewCell& cell, IndexPath path)
{
    auto d = tableDelegate();
    auto source = dataSource();
    cell.setFrame(cellFrame(path));
    cell.setEditingStyle(m_editing ? editingStyleForRow(path) : TableViewCell::EditingStyle::Delete);
    cell.setShowsReorderControl(source && source->canMoveRow(*this, path));
    cell.setShouldIndentWhileEditing(!d || d->shouldIndentWhileEditing(*this, path));
    cell.setEditing(m_editing);
    if (d)
        cell.setIndentationLevel(d->indentationLevelForRow(*this, path));
    cell.setSelected(m_selected == path);
    std::weak_ptr<core::Object> weakTable = weak_from_this();
    std::weak_ptr<core::Object> weakCell = cell.weak_from_this();
    cell.setAccessoryTapHandler([weakTable, weakCell] {
        auto table = std::static_pointer_cast<TableView>(weakTable.lock());
        auto cell = std::static_pointer_cast<TableViewCell>(weakCell.lock());
        if (!table || !cell)
            return;
        if (auto path = table->indexPathForCell(*cell))
            table->tapAccessory(*path);
    });
}

// Layout makes the rows that meet the bounds and only those: scrolled-out
// cells go to the reuse queue, new ones come from the data source and are
// announced in row order.
void TableView::materialise()
{
    gfx::Rect visible = bounds();
    auto wanted = indexPathsForRows(visible);
    std::set<IndexPath> keep(wanted.begin(), wanted.end());
    for (auto it = m_visible.begin(); it != m_visible.end();) {
        if (keep.count(it->first)) {
            ++it;
            continue;
        }
        enqueue(std::move(it->second));
        it = m_visible.erase(it);
    }
    auto d = tableDelegate();
    for (auto& path : wanted) {
        if (auto it = m_visible.find(path); it != m_visible.end()) {
            it->second->setFrame(cellFrame(path));
            continue;
        }
        auto cell = makeCell(path);
        configure(*cell, path);
        insertSubview(cell, 0);
        m_visible[path] = cell;
        if (d)
            d->willDisplayCell(*this, *cell, path);
    }
    trimReuseQueue();
    layoutSectionViews(visible);
}

// The table holds no more cells than the most it has shown at once: queued
// cells beyond that go, oldest first from the longest queue. A list of two
// kinds of row scrolled from one kind into the other would otherwise keep
// a screenful of each.
void TableView::trimReuseQueue()
{
    m_mostShown = std::max(m_mostShown, m_visible.size());
    size_t queued = 0;
    for (auto& [identifier, cells] : m_reuse)
        queued += cells.size();
    while (queued > m_mostShown - m_visible.size()) {
        auto longest = std::max_element(m_reuse.begin(), m_reuse.end(),
            [](auto& a, auto& b) { return a.second.size() < b.second.size(); });
        longest->second.erase(longest->second.begin());
        --queued;
    }
}

void TableView::layoutSectionViews(const gfx::Rect& visible)
{
    auto source = dataSource();
    auto d = tableDelegate();
    // Where each header and footer shows now. A plain table's header stays
    // at the top of the visible area while its section passes under it,
    // pushed up by the next one; the first section found is the one whose
    // header may stick.
    std::map<std::pair<int, bool>, gfx::Rect> wanted;
    auto first = std::upper_bound(m_sections.begin(), m_sections.end(), double(visible.minY()),
        [](double y, const Section& s) { return y < s.top + s.height(); });
    bool sticky = m_style == Style::Plain;
    float stickAt = visible.minY() + contentInset().top;
    for (auto it = first; it != m_sections.end() && it->top < visible.maxY(); ++it) {
        int section = int(it - m_sections.begin());
        for (bool footer : { false, true }) {
            gfx::Rect rect = footer ? rectForFooter(section) : rectForHeader(section);
            if (sticky && !footer && rect.height() > 0) {
                float end = float(it->top + it->height()) - rect.height();
                rect.origin.y = std::max(rect.y(), std::min(stickAt, end));
            }
            if (rect.height() > 0 && rect.intersects(visible))
                wanted[{ section, footer }] = rect;
        }
    }
    // Those gone from view go first, so that no more are alive than show.
    for (auto it = m_sectionViews.begin(); it != m_sectionViews.end();) {
        if (wanted.count(it->first)) {
            ++it;
            continue;
        }
        it->second->removeFromSuperview();
        it = m_sectionViews.erase(it);
    }
    for (auto& [key, rect] : wanted) {
        auto [section, footer] = key;
        auto& view = m_sectionViews[key];
        if (!view) {
            view = d ? (footer ? d->viewForFooter(*this, section) : d->viewForHeader(*this, section)) : nullptr;
            if (!view) {
                auto title = source ? (footer ? source->titleForFooter(*this, section) : source->titleForHeader(*this, section))
                                    : std::nullopt;
                if (!title || (m_style == Style::Grouped && title->empty())) {
                    m_sectionViews.erase(key);
                    continue;
                }
                auto label = View::make<SectionTitleLabel>({});
                label->setText(*title);
                label->setFont(Fonts::boldSystemFont(m_style == Style::Grouped ? 17 : 18));
                if (m_style == Style::Grouped) {
                    label->setBackgroundColor(StandardColors::clear());
                    label->setOpaque(false);
                    label->setTextColor(gfx::Color::rgb255(76, 86, 108));
                    label->setShadowColor(StandardColors::white());
                    label->setShadowOffset({ 0, 1 });
                    label->setTextAlignment(footer ? gfx::TextAlignment::Center : gfx::TextAlignment::Left);
                } else {
                    label->plainBar = true;
                    label->setOpaque(true);
                    label->setTextColor(StandardColors::white());
                    label->setShadowColor(gfx::Color::rgb255(0, 0, 0, 0.45f));
                    label->setShadowOffset({ 0, 1 });
                }
                view = label;
            }
            addSubview(view);
        }
        // Titles of a grouped table stand over its rows; a view of the
        // delegate's own spans the table, as headers and footers of the
        // table itself do.
        const bool title = dynamic_cast<SectionTitleLabel*>(view.get()) != nullptr;
        float inset = m_style == Style::Grouped && title ? GroupedMargin : 0;
        gfx::Rect frame { inset, rect.y(), rect.width() - 2 * inset, rect.height() };
        // A grouped title lines up with the rows' text and stands just
        // above its section's rows.
        if (m_style == Style::Grouped && !footer && title && rect.height() > GroupedSectionSpacing)
            frame = { inset + GroupedMargin, rect.y() + GroupedSectionSpacing, std::max(0.0f, rect.width() - 2 * (inset + GroupedMargin)),
                rect.height() - GroupedSectionSpacing - 4 };
        view->setFrame(frame);
    }
}

void TableView::layoutIndex()
{
    bool wanted = !m_indexTitles.empty();
    if (!wanted) {
        if (m_indexView)
            m_indexView->setHidden(true);
        return;
    }
    if (!m_indexView) {
        m_indexView = std::make_shared<SectionIndexView>();
        addSubview(m_indexView);
    }
    gfx::Rect b = bounds();
    m_indexView->setHidden(false);
    m_indexView->setFrame({ b.maxX() - IndexWidth, b.y(), IndexWidth, b.height() });
    bringSubviewToFront(m_indexView.get());
}

bool TableView::delaysTouchesInContentView(const View* view) const
{
    if (view && m_indexView && view->isDescendantOfView(m_indexView.get()))
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
    layoutIndex();
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
    reloadSectionIndexTitles();
    gfx::Point offset = contentOffset();
    gfx::Point most = maximumContentOffset();
    if (offset.y > most.y)
        setContentOffset({ offset.x, most.y });
    setNeedsLayout();
}

void TableView::reloadSectionIndexTitles()
{
    auto source = dataSource();
    m_indexTitles = source ? source->sectionIndexTitles(*this) : std::vector<std::string> {};
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

void TableView::scrollToNearestSelectedRow(ScrollPosition position, bool animated)
{
    if (m_selected)
        scrollToRow(*m_selected, position, animated);
}

void TableView::tapIndexTitle(int index)
{
    if (index < 0 || index >= int(m_indexTitles.size()))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::tapIndexTitle: {} is beyond {} index titles", index, m_indexTitles.size()));
    auto source = dataSource();
    if (!source)
        return;
    int section = source->sectionForSectionIndexTitle(*this, m_indexTitles[size_t(index)], index);
    if (section < 0 || section >= numberOfSections())
        return;
    stopScrolling();
    float y = std::clamp(rectForHeader(section).y(), minimumContentOffset().y, maximumContentOffset().y);
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
    if (notify && d)
        d->didSelectRow(*this, path);
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

bool TableView::performKeyCommand(KeyCommand command)
{
    bool selects = m_allowsSelection && (!m_editing || m_allowsSelectionDuringEditing);
    if (!selects || (command != KeyCommand::Up && command != KeyCommand::Down && command != KeyCommand::Return))
        return ScrollView::performKeyCommand(command);
    if (command == KeyCommand::Return) {
        if (!m_selected || !isValid(*m_selected))
            return false;
        if (auto* cell = cellForRow(*m_selected); cell && cell->activateControl())
            return true;
        tapRow(*m_selected);
        return true;
    }
    layoutIfNeeded();
    int step = command == KeyCommand::Down ? 1 : -1;
    // The neighbour, across sections.
    auto neighbour = [this, step](IndexPath from) -> std::optional<IndexPath> {
        int section = from.section, row = from.row + step;
        while (section >= 0 && section < numberOfSections()) {
            if (row >= 0 && row < numberOfRows(section))
                return IndexPath { section, row };
            section += step;
            row = step > 0 ? 0 : (section >= 0 && section < numberOfSections() ? numberOfRows(section) - 1 : -1);
        }
        return std::nullopt;
    };
    std::optional<IndexPath> next;
    if (m_selected && isValid(*m_selected))
        next = neighbour(*m_selected);
    else if (auto shown = indexPathsForVisibleRows(); !shown.empty())
        next = step > 0 ? shown.front() : shown.back();
    // Rows that cannot be chosen are passed over.
    auto d = tableDelegate();
    while (next && d && !d->canSelectRow(*this, *next))
        next = neighbour(*next);
    if (!next)
        return ScrollView::performKeyCommand(command);
    auto keep = shared_from_this();
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

std::optional<IndexPath> TableView::rowForTouch(const TouchSet& touches) const
{
    if (touches.empty())
        return std::nullopt;
    return indexPathForRow(touches.front()->locationInView(this));
}

void TableView::touchesBegan(const TouchSet& touches, const Event&)
{
    m_highlightedRow.reset();
    m_editingControlRow.reset();
    auto path = rowForTouch(touches);
    if (path && m_editing && isOnEditingControl(*path, touches.front()->locationInView(this))) {
        m_editingControlRow = path;
        return;
    }
    if (!path || !m_allowsSelection || (m_editing && !m_allowsSelectionDuringEditing))
        return;
    m_highlightedRow = path;
    if (auto* cell = cellForRow(*path); cell && cell->selectionStyle() != TableViewCell::SelectionStyle::None)
        cell->setHighlighted(true);
}

void TableView::touchesEnded(const TouchSet& touches, const Event&)
{
    if (auto control = std::exchange(m_editingControlRow, std::nullopt)) {
        if (rowForTouch(touches) == control)
            tapEditingControl(*control);
        return;
    }
    auto highlighted = std::exchange(m_highlightedRow, std::nullopt);
    if (!highlighted)
        return;
    if (auto* cell = cellForRow(*highlighted))
        cell->setHighlighted(false);
    if (rowForTouch(touches) == highlighted)
        tapRow(*highlighted);
}

void TableView::touchesCancelled(const TouchSet&, const Event&)
{
    if (auto highlighted = std::exchange(m_highlightedRow, std::nullopt))
        if (auto* cell = cellForRow(*highlighted))
            cell->setHighlighted(false);
}

// Editing

void TableView::setEditing(bool editing, bool animated)
{
    auto keep = shared_from_this();
    cancelDeletion();
    m_editing = editing;
    auto source = dataSource();
    for (auto& [path, cell] : m_visible) {
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
    auto path = indexPathForCell(cell);
    auto source = dataSource();
    if (!path || !source || !source->canEditRow(*this, *path)
        || editingStyleForRow(*path) != TableViewCell::EditingStyle::Delete)
        return;
    cancelDeletion();
    auto d = tableDelegate();
    m_swiped = path;
    if (d)
        d->willBeginEditingRow(*this, *path);
    auto title = d ? d->titleForDeleteConfirmationButton(*this, *path) : std::nullopt;
    std::weak_ptr<core::Object> weak = weak_from_this();
    cell.showDeleteConfirmation(title.value_or(core::localized("Delete", "Toolkit")), [weak] {
        if (auto self = std::static_pointer_cast<TableView>(weak.lock()))
            self->confirmDeletion();
    });
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
    auto* cell = cellForRow(path);
    auto source = dataSource();
    if (!m_editing || !cell || !source || !source->supportsCommitEditing())
        return;
    auto keep = shared_from_this();
    const auto style = editingStyleForRow(path);
    if (style == TableViewCell::EditingStyle::Insert) {
        source->commitEditing(*this, style, path);
        return;
    }
    if (style != TableViewCell::EditingStyle::Delete || !source->canEditRow(*this, path))
        return;
    if (m_swiped == path) {
        cancelDeletion();
        return;
    }
    cancelDeletion();
    m_swiped = path;
    auto d = tableDelegate();
    auto title = d ? d->titleForDeleteConfirmationButton(*this, path) : std::nullopt;
    std::weak_ptr<core::Object> weak = weak_from_this();
    cell->showDeleteConfirmation(title.value_or(core::localized("Delete", "Toolkit")), [weak] {
        if (auto self = std::static_pointer_cast<TableView>(weak.lock()))
            self->confirmDeletion();
    });
}

void TableView::confirmDeletion()
{
    auto path = std::exchange(m_swiped, std::nullopt);
    if (!path)
        return;
    auto keep = shared_from_this();
    if (auto* cell = cellForRow(*path))
        cell->hideDeleteConfirmation();
    if (auto source = dataSource(); source && isValid(*path))
        source->commitEditing(*this, TableViewCell::EditingStyle::Delete, *path);
    if (auto d = tableDelegate())
        d->didEndEditingRow(*this, *path);
}

void TableView::cancelDeletion()
{
    auto path = std::exchange(m_swiped, std::nullopt);
    if (!path)
        return;
    if (auto* cell = cellForRow(*path))
        cell->hideDeleteConfirmation();
    if (auto d = tableDelegate())
        d->didEndEditingRow(*this, *path);
}

// Updates

void TableView::beginUpdates()
{
    ++m_updateDepth;
}

void TableView::endUpdates()
{
    if (m_updateDepth == 0)
        return;
    if (--m_updateDepth > 0)
        return;
    Update merged;
    for (auto& update : std::exchange(m_pending, {})) {
        merged.deleted.insert(merged.deleted.end(), update.deleted.begin(), update.deleted.end());
        merged.inserted.insert(merged.inserted.end(), update.inserted.begin(), update.inserted.end());
        merged.reloaded.insert(merged.reloaded.end(), update.reloaded.begin(), update.reloaded.end());
        merged.deletedSections.insert(merged.deletedSections.end(), update.deletedSections.begin(), update.deletedSections.end());
        merged.insertedSections.insert(merged.insertedSections.end(), update.insertedSections.begin(),
            update.insertedSections.end());
        merged.animation = update.animation;
    }
    applyUpdate(std::move(merged));
}

void TableView::insertRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ {}, paths, {}, {}, {}, animation });
    endUpdates();
}

void TableView::deleteRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ paths, {}, {}, {}, {}, animation });
    endUpdates();
}

void TableView::reloadRows(const std::vector<IndexPath>& paths, RowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ {}, {}, paths, {}, {}, animation });
    endUpdates();
}

void TableView::insertSections(const std::vector<int>& sections, RowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ {}, {}, {}, {}, sections, animation });
    endUpdates();
}

void TableView::deleteSections(const std::vector<int>& sections, RowAnimation animation)
{
    beginUpdates();
    m_pending.push_back({ {}, {}, {}, sections, {}, animation });
    endUpdates();
}

void TableView::retire(std::shared_ptr<TableViewCell> cell, RowAnimation animation)
{
    if (animation == RowAnimation::None) {
        cell->removeFromSuperview();
        return;
    }
    m_retiring.push_back(cell);
    std::weak_ptr<core::Object> weakTable = weak_from_this();
    std::weak_ptr<core::Object> weakCell = cell;
    core::RunLoop::main().performAfter(RowAnimationDuration, [weakTable, weakCell] {
        auto table = std::static_pointer_cast<TableView>(weakTable.lock());
        auto cell = std::static_pointer_cast<TableViewCell>(weakCell.lock());
        if (!table || !cell)
            return;
        cell->removeFromSuperview();
        std::erase(table->m_retiring, cell);
    });
}

// Checks the update against the data source's new counts, then moves the
// shown cells to their new rows: deletes are counted in the old numbering,
// inserts in the new one.
void TableView::applyUpdate(Update update)
{
    auto keep = shared_from_this();
    if (!m_loaded) {
        computeGeometry();
        setNeedsLayout();
        return;
    }
    cancelDeletion();
    auto source = dataSource();
    int oldSections = numberOfSections();
    for (auto& path : update.deleted)
        requireValid(path, "deleteRows");
    for (auto& path : update.reloaded)
        requireValid(path, "reloadRows");
    for (int section : update.deletedSections)
        if (section < 0 || section >= oldSections)
            throw core::Exception(core::Exception::RangeError,
                fmt::format("TableView::deleteSections: section {} is out of range ({} sections)", section, oldSections));
    int newSections = source ? std::max(0, source->numberOfSections(*this)) : 0;
    if (!update.deletedSections.empty() || !update.insertedSections.empty()) {
        int expected = oldSections - int(update.deletedSections.size()) + int(update.insertedSections.size());
        if (newSections != expected)
            throw core::Exception(core::Exception::InternalInconsistency,
                fmt::format("Invalid update: invalid number of sections. The number of sections contained in the table "
                            "view after the update ({}) must be equal to the number of sections contained in the table "
                            "view before the update ({}), plus or minus the number of sections inserted or deleted "
                            "({} inserted, {} deleted).",
                    newSections, oldSections, update.insertedSections.size(), update.deletedSections.size()));
        for (auto& [path, cell] : std::exchange(m_visible, {}))
            retire(cell, update.animation);
        for (auto& [key, view] : m_sectionViews)
            view->removeFromSuperview();
        m_sectionViews.clear();
        m_selected.reset();
        computeGeometry();
        setNeedsLayout();
        return;
    }
    if (newSections != oldSections)
        throw core::Exception(core::Exception::InternalInconsistency,
            fmt::format("Invalid update: invalid number of sections ({} after the update, {} before)", newSections, oldSections));
    std::vector<std::vector<int>> deleted(static_cast<size_t>(oldSections)), inserted(static_cast<size_t>(oldSections));
    for (auto& path : update.deleted)
        deleted[size_t(path.section)].push_back(path.row);
    for (int s = 0; s < oldSections; ++s) {
        auto& rows = deleted[size_t(s)];
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    }
    for (auto& path : update.inserted) {
        if (path.section < 0 || path.section >= oldSections)
            throw core::Exception(core::Exception::RangeError,
                fmt::format("TableView::insertRows: row {} is out of range", path.description()));
        inserted[size_t(path.section)].push_back(path.row);
    }
    for (int s = 0; s < oldSections; ++s) {
        int before = m_sections[size_t(s)].rows;
        int after = source ? std::max(0, source->numberOfRows(*this, s)) : 0;
        auto& ins = inserted[size_t(s)];
        std::sort(ins.begin(), ins.end());
        ins.erase(std::unique(ins.begin(), ins.end()), ins.end());
        int removed = int(deleted[size_t(s)].size()), added = int(ins.size());
        if (after != before - removed + added)
            throw core::Exception(core::Exception::InternalInconsistency,
                fmt::format("Invalid update: invalid number of rows in section {}. The number of rows contained in an "
                            "existing section after the update ({}) must be equal to the number of rows contained in "
                            "that section before the update ({}), plus or minus the number of rows inserted or deleted "
                            "from that section ({} inserted, {} deleted).",
                    s, after, before, added, removed));
        for (int row : ins)
            if (row < 0 || row >= after)
                throw core::Exception(core::Exception::RangeError,
                    fmt::format("TableView::insertRows: row {} is out of range", IndexPath { s, row }.description()));
    }
    std::set<IndexPath> reloaded(update.reloaded.begin(), update.reloaded.end());
    auto moved = [&](IndexPath path) -> std::optional<IndexPath> {
        auto& del = deleted[size_t(path.section)];
        if (std::binary_search(del.begin(), del.end(), path.row))
            return std::nullopt;
        int row = path.row - int(std::lower_bound(del.begin(), del.end(), path.row) - del.begin());
        for (int at : inserted[size_t(path.section)])
            if (at <= row)
                ++row;
        return IndexPath { path.section, row };
    };
    std::map<IndexPath, std::shared_ptr<TableViewCell>> remapped;
    for (auto& [path, cell] : std::exchange(m_visible, {})) {
        auto to = moved(path);
        if (!to)
            retire(cell, update.animation);
        else if (reloaded.count(path))
            enqueue(cell);
        else
            remapped[*to] = cell;
    }
    m_visible = std::move(remapped);
    if (m_selected)
        m_selected = moved(*m_selected);
    computeGeometry();
    for (auto& [path, cell] : m_visible)
        cell->setFrame(cellFrame(path));
    setNeedsLayout();
}

void TableView::moveRow(IndexPath from, IndexPath proposed)
{
    requireValid(from, "moveRow");
    if (proposed.section < 0 || proposed.section >= numberOfSections() || proposed.row < 0
        || proposed.row > numberOfRows(proposed.section) - (proposed.section == from.section ? 1 : 0))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::moveRow: row {} is out of range", proposed.description()));
    auto keep = shared_from_this();
    auto d = tableDelegate();
    IndexPath to = (d ? d->targetIndexPathForMove(*this, from, proposed) : std::nullopt).value_or(proposed);
    if (auto source = dataSource())
        source->moveRow(*this, from, to);
    // The table moves its own rows: the cells stay, no cell is asked for.
    auto shift = [&](IndexPath path) {
        if (path == from)
            return to;
        if (path.section == from.section && path.row > from.row)
            --path.row;
        if (path.section == to.section && path.row >= to.row)
            ++path.row;
        return path;
    };
    std::map<IndexPath, std::shared_ptr<TableViewCell>> remapped;
    for (auto& [path, cell] : std::exchange(m_visible, {}))
        remapped[shift(path)] = cell;
    m_visible = std::move(remapped);
    if (m_selected)
        m_selected = shift(*m_selected);
    computeGeometry();
    for (auto& [path, cell] : m_visible)
        if (isValid(path))
            cell->setFrame(cellFrame(path));
    setNeedsLayout();
}

} // namespace ui
