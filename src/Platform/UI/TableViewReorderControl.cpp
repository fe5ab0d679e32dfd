#include "Platform/UI/TableViewReorderControl.h"

#include "Platform/UI/StandardColors.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Touch.h"

#include <algorithm>

namespace ui {

TableViewReorderControl* TableViewReorderControl::of(const TableViewCell& cell)
{
    for (const auto& subview : cell.subviews())
        if (auto* grip = dynamic_cast<TableViewReorderControl*>(subview.get()))
            return grip;
    return nullptr;
}

void TableViewReorderControl::update(TableViewCell& cell)
{
    bool shows = cell.isEditing() && cell.showsReorderControl();
    auto* grip = of(cell);
    if (shows && !grip) {
        auto made = std::make_shared<TableViewReorderControl>();
        made->setBackgroundColor(StandardColors::clear());
        cell.addSubview(made);
        grip = made.get();
    } else if (!shows && grip) {
        grip->removeFromSuperview();
        return;
    }
    if (grip) {
        gfx::Rect b = cell.bounds();
        grip->setFrame({ b.width() - TableViewCell::EditingControlWidth, 0, TableViewCell::EditingControlWidth, b.height() });
    }
}

TableViewCell* TableViewReorderControl::cell() const
{
    return dynamic_cast<TableViewCell*>(superview());
}

TableView* TableViewReorderControl::table() const
{
    auto* row = cell();
    return row ? dynamic_cast<TableView*>(row->superview()) : nullptr;
}

void TableViewReorderControl::touchesBegan(const TouchSet& touches, const Event&)
{
    auto* row = cell();
    auto* list = table();
    if (!row || !list || touches.empty() || !list->isEditing() || !list->indexPathForCell(*row))
        return;
    m_dragging = true;
    m_grab = touches.front()->locationInView(list).y - row->frame().y();
    list->bringSubviewToFront(row);
}

void TableViewReorderControl::touchesMoved(const TouchSet& touches, const Event&)
{
    auto* row = cell();
    auto* list = table();
    if (!m_dragging || !row || !list || touches.empty())
        return;
    gfx::Rect frame = row->frame();
    float bottom = std::max(0.0f, list->contentSize().height - frame.height());
    float top = std::clamp(touches.front()->locationInView(list).y - m_grab, 0.0f, bottom);
    row->setFrame({ frame.x(), top, frame.width(), frame.height() });
}

void TableViewReorderControl::touchesEnded(const TouchSet& touches, const Event& event)
{
    auto* row = cell();
    auto* list = table();
    if (!m_dragging || !row || !list || touches.empty()) {
        m_dragging = false;
        return;
    }
    touchesMoved(touches, event);
    m_dragging = false;
    auto keep = list->shared_from_this();
    auto from = list->indexPathForCell(*row);
    if (!from)
        return;
    // The place under the dragged row's middle; past either end of its
    // section, that end.
    gfx::Rect frame = row->frame();
    float middle = std::clamp(frame.midY(), 0.0f, std::max(0.0f, list->contentSize().height - 1));
    auto proposed = list->indexPathForRow({ list->bounds().midX(), middle });
    if (!proposed) {
        int rows = list->numberOfRows(from->section);
        proposed = IndexPath { from->section, middle < list->rectForSection(from->section).midY() ? 0 : rows - 1 };
    }
    if (*proposed == *from) {
        settle();
        return;
    }
    list->moveRow(*from, *proposed);
}

void TableViewReorderControl::touchesCancelled(const TouchSet&, const Event&)
{
    if (std::exchange(m_dragging, false))
        settle();
}

void TableViewReorderControl::willMoveToSuperview(View* newSuperview)
{
    // Editing ended mid-drag: the row goes back.
    if (!newSuperview && std::exchange(m_dragging, false))
        settle();
    Control::willMoveToSuperview(newSuperview);
}

void TableViewReorderControl::settle()
{
    auto* row = cell();
    auto* list = table();
    if (!row || !list)
        return;
    if (auto path = list->indexPathForCell(*row)) {
        gfx::Rect frame = row->frame(), place = list->rectForRow(*path);
        row->setFrame({ frame.x(), place.y(), frame.width(), place.height() });
    }
}

} // namespace ui
