#include "Platform/UI/TableViewController.h"

#include "Platform/UI/Application.h"

namespace ui {

TableViewController::TableViewController(TableView::Style style) : m_style(style) { }

TableView& TableViewController::tableView()
{
    return static_cast<TableView&>(*view());
}

void TableViewController::loadView()
{
    gfx::Rect frame = Application::shared() ? Application::shared()->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto table = TableView::create({ 0, 0, frame.width(), frame.height() }, m_style);
    table->setAutoresizingMask(View::FlexibleWidth | View::FlexibleHeight);
    auto self = shared_from_this();
    table->setDataSource(std::dynamic_pointer_cast<TableViewDataSource>(self));
    table->setDelegate(std::dynamic_pointer_cast<TableViewDelegate>(self));
    table->setEditing(isEditing());
    setView(table);
}

void TableViewController::viewWillAppear(bool animated)
{
    TableView& table = tableView();
    if (!std::exchange(m_appeared, true)) {
        table.reloadData();
        return;
    }
    if (m_clearsSelection)
        if (auto selected = table.indexPathForSelectedRow())
            table.deselectRow(*selected, animated);
}

void TableViewController::setEditing(bool editing, bool animated)
{
    ViewController::setEditing(editing, animated);
    if (isViewLoaded())
        tableView().setEditing(editing, animated);
}

} // namespace ui
