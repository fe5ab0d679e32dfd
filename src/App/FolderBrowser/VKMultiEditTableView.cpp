#include "App/FolderBrowser/VKMultiEditTableView.h"

std::shared_ptr<VKMultiEditTableView> VKMultiEditTableView::create(const gfx::Rect& frame, Style style)
{
    return View::make<VKMultiEditTableView>(frame, style);
}

VKMultiEditTableView::VKMultiEditTableView(Style style)
    : TableView(style)
{
}

bool VKMultiEditTableView::canHandleSwipes()
{
    auto source = dataSource();
    if (!source || !source->supportsCommitEditing())
        return false;
    auto delegate = std::dynamic_pointer_cast<VKMultiEditTableViewDelegate>(tableDelegate());
    auto answer = delegate ? delegate->tableViewCanHandleSwipes(*this) : std::nullopt;
    return answer.value_or(true);
}

void VKMultiEditTableView::swipeCell(ui::TableViewCell& cell, gfx::Point point)
{
    setEditingMode(SwipeMode);
    TableView::swipeCell(cell, point);
}

int editingMode(const ui::TableView& table)
{
    auto* multiEdit = dynamic_cast<const VKMultiEditTableView*>(&table);
    return multiEdit ? multiEdit->editingMode() : 0;
}
