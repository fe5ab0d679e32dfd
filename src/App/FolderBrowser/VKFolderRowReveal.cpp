#include "App/FolderBrowser/VKFolderRowReveal.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/TableViewCell.h"

#include <algorithm>

void VKFolderRowReveal::revealAndHighlight(const std::shared_ptr<VKFileResource>& resource)
{
    ui::TableView* table = resource ? m_host.revealTable() : nullptr;
    if (!table)
        return;
    if (auto selected = table->indexPathForSelectedRow())
        table->deselectRow(*selected, false);
    auto path = m_host.revealRowOf(*resource);
    if (!path)
        return;
    table->scrollToRow(*path, ui::TableView::ScrollPosition::Middle, false);
    // The row's cell exists once the table has laid out its new offset.
    table->layoutIfNeeded();
    table->deselectRow(*path, false);
    highlight(resource, 0);
}

void VKFolderRowReveal::highlight(const std::shared_ptr<VKFileResource>& resource, int step)
{
    ui::TableView* table = m_host.revealTable();
    if (!table)
        return;
    // Selected on even steps: a reload between them cannot leave it on.
    if (auto path = m_host.revealRowOf(*resource))
        if (auto* cell = table->cellForRow(*path))
            cell->setSelected(step % 2 == 0, true);
    if (step >= 3)
        return;
    core::RunLoop::main().performAfter(HighlightInterval, [this, alive = std::weak_ptr<bool>(m_alive), resource, step] {
        if (!alive.expired())
            highlight(resource, step + 1);
    });
}

void VKFolderRowReveal::select(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    ui::TableView* table = resource ? m_host.revealTable() : nullptr;
    auto path = table ? m_host.revealRowOf(*resource) : std::nullopt;
    if (!path)
        return;
    if (auto selected = table->indexPathForSelectedRow())
        table->deselectRow(*selected, false);
    table->selectRow(*path, animated, ui::TableView::ScrollPosition::None);
}

void VKFolderRowReveal::deselect(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    ui::TableView* table = resource ? m_host.revealTable() : nullptr;
    if (auto path = table ? m_host.revealRowOf(*resource) : std::nullopt)
        table->deselectRow(*path, animated);
}

void VKFolderRowReveal::scrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position,
    bool animated)
{
    ui::TableView* table = resource ? m_host.revealTable() : nullptr;
    auto path = table ? m_host.revealRowOf(*resource) : std::nullopt;
    if (!path)
        return;
    gfx::Rect row = table->rectForRow(*path);
    gfx::Rect visible = table->bounds();
    float top = std::max(row.minY(), visible.minY());
    float bottom = std::min(row.maxY(), visible.maxY());
    if (bottom - top < row.height())
        table->scrollToRow(*path, position, animated);
}
