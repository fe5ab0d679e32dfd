#include "Platform/UI/TableViewRowDeletion.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/PanGestureRecognizer.h"
#include "Platform/UI/SwipeGestureRecognizer.h"
#include "Platform/UI/TableView.h"

namespace ui {

namespace {

// Swipes over rows are seen even while the scroll view's pan tracks the
// same finger.
struct AlongsideScrolling : GestureRecognizerDelegate {
    bool shouldRecognizeSimultaneously(GestureRecognizer&, GestureRecognizer&) override { return true; }
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

} // namespace

TableViewRowDeletion::TableViewRowDeletion()
    : m_swipe(std::make_shared<RowSwipe>())
    , m_swipeDelegate(std::make_shared<AlongsideScrolling>())
{
}

TableViewRowDeletion::~TableViewRowDeletion() = default;

void TableViewRowDeletion::attach(TableView& table)
{
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
    table.addGestureRecognizer(m_swipe);
    table.panGestureRecognizer().setDelegate(m_swipeDelegate);
}

void TableViewRowDeletion::swipe(TableView& table, TableViewCell& cell)
{
    auto path = table.indexPathForCell(cell);
    auto source = table.dataSource();
    if (!path || !source || !source->canEditRow(table, *path)
        || table.editingStyleForRow(*path) != TableViewCell::EditingStyle::Delete)
        return;
    show(table, cell, *path, true);
}

void TableViewRowDeletion::tapDisc(TableView& table, IndexPath path)
{
    auto* cell = table.cellForRow(path);
    auto source = table.dataSource();
    if (!table.isEditing() || !cell || !source || !source->supportsCommitEditing())
        return;
    auto keep = table.shared_from_this();
    const auto style = table.editingStyleForRow(path);
    if (style == TableViewCell::EditingStyle::Insert) {
        source->commitEditing(table, style, path);
        return;
    }
    if (style != TableViewCell::EditingStyle::Delete || !source->canEditRow(table, path))
        return;
    if (m_row == path)
        cancel(table);
    else
        show(table, *cell, path, false);
}

void TableViewRowDeletion::show(TableView& table, TableViewCell& cell, IndexPath path, bool swiped)
{
    cancel(table);
    auto d = table.tableDelegate();
    m_row = path;
    if (d && swiped)
        d->willBeginEditingRow(table, path);
    auto title = d ? d->titleForDeleteConfirmationButton(table, path) : std::nullopt;
    std::weak_ptr<core::Object> weak = table.weak_from_this();
    cell.showDeleteConfirmation(title.value_or(core::localized("Delete", "Toolkit")), [weak] {
        if (auto self = std::static_pointer_cast<TableView>(weak.lock()))
            self->confirmDeletion();
    });
}

void TableViewRowDeletion::confirm(TableView& table)
{
    auto path = std::exchange(m_row, std::nullopt);
    if (!path)
        return;
    auto keep = table.shared_from_this();
    if (auto* cell = table.cellForRow(*path))
        cell->hideDeleteConfirmation();
    // The row may have gone meanwhile (numberOfRows answers 0 for a gone section).
    if (auto source = table.dataSource(); source && path->row >= 0 && path->row < table.numberOfRows(path->section))
        source->commitEditing(table, TableViewCell::EditingStyle::Delete, *path);
    if (auto d = table.tableDelegate())
        d->didEndEditingRow(table, *path);
}

void TableViewRowDeletion::cancel(TableView& table)
{
    auto path = std::exchange(m_row, std::nullopt);
    if (!path)
        return;
    if (auto* cell = table.cellForRow(*path))
        cell->hideDeleteConfirmation();
    if (auto d = table.tableDelegate())
        d->didEndEditingRow(table, *path);
}

} // namespace ui
