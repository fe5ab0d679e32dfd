#include "App/FolderBrowser/VKFolderRowReveal.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/UI/TableViewCell.h"

#include <algorithm>

void VKFolderRowReveal::revealAndHighlight(const std::shared_ptr<VKFileResource>& resource)
{
    auto host = m_host.lock();
    ui::TableView* table = host && resource ? host->revealTable() : nullptr;
    if (!table)
        return;
    if (auto selected = table->indexPathForSelectedRow())
        table->deselectRow(*selected, false);
    auto path = host->revealRowOf(*resource);
    if (!path)
        return;
    table->scrollToRow(*path, ui::TableView::ScrollPosition::Middle, false);
    // The row's cell exists once the table has laid out its new offset.
    table->layoutIfNeeded();
    table->deselectRow(*path, false);
    highlight(m_host, resource, 0);
}

void VKFolderRowReveal::highlight(std::weak_ptr<Host> weak, const std::shared_ptr<VKFileResource>& resource, int step)
{
    auto host = weak.lock();
    ui::TableView* table = host ? host->revealTable() : nullptr;
    if (!table)
        return;
    // Selected on even steps: a reload between them cannot leave it on.
    if (auto path = host->revealRowOf(*resource))
        if (auto* cell = table->cellForRow(*path))
            cell->setSelected(step % 2 == 0, true);
    if (step >= 3)
        return;
    core::RunLoop::main().performAfter(HighlightInterval, [weak, resource, step] {
        highlight(weak, resource, step + 1);
    });
}

void VKFolderRowReveal::select(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    auto host = m_host.lock();
    ui::TableView* table = host && resource ? host->revealTable() : nullptr;
    auto path = table ? host->revealRowOf(*resource) : std::nullopt;
    if (!path)
        return;
    if (auto selected = table->indexPathForSelectedRow())
        table->deselectRow(*selected, false);
    table->selectRow(*path, animated, ui::TableView::ScrollPosition::None);
}

void VKFolderRowReveal::deselect(const std::shared_ptr<VKFileResource>& resource, bool animated)
{
    auto host = m_host.lock();
    ui::TableView* table = host && resource ? host->revealTable() : nullptr;
    if (auto path = table ? host->revealRowOf(*resource) : std::nullopt)
        table->deselectRow(*path, animated);
}

void VKFolderRowReveal::scrollTo(const std::shared_ptr<VKFileResource>& resource, ui::TableView::ScrollPosition position,
    bool animated)
{
    auto host = m_host.lock();
    ui::TableView* table = host && resource ? host->revealTable() : nullptr;
    auto path = table ? host->revealRowOf(*resource) : std::nullopt;
    if (!path)
        return;
    gfx::Rect row = table->rectForRow(*path);
    gfx::Rect visible = table->bounds();
    float top = std::max(row.minY(), visible.minY());
    float bottom = std::min(row.maxY(), visible.maxY());
    if (bottom - top < row.height())
        table->scrollToRow(*path, position, animated);
}
