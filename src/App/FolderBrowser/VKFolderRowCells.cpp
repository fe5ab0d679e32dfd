#include "App/FolderBrowser/VKFolderRowCells.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderEditing.h"
#include "App/FolderBrowser/VKFolderTransferRows.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/StringAdditions.h"
#include "Platform/Core/Path.h"
#include "Platform/UI/TableView.h"

std::shared_ptr<VKFileResourceCell> VKFolderRowCells::make(ui::TableView& table,
    const std::shared_ptr<VKFileResource>& resource, bool showsParent)
{
    auto cell = VKFolderTransferRows::dequeueCell(table, resource.get());
    cell->setFrame({ 0, 0, table.bounds().width(), VKFileResourceCell::RowHeight });
    cell->setResource(resource);
    cell->setParentName(resource && showsParent ? parentName(*resource) : std::string());
    return cell;
}

std::string VKFolderRowCells::parentName(const VKFileResource& resource)
{
    auto application = VKApplication::sharedApplication();
    std::string parent = core::path::deletingLastPathComponent(resource.path());
    auto root = application->rootDirectoryForPath(resource.path());
    std::string prefix = application->localizedPrefixForPath(resource.path());
    if (!root)
        return prefix;
    auto relative = stringByAbbreviatingRelativeToPath(parent, *root);
    if (!relative || relative->empty() || *relative == ".")
        return prefix;
    return core::path::appendingPathComponent(prefix, *relative);
}

void VKFolderRowCells::dress(ui::TableViewCell& cell, bool editing, const VKFolderEditing& marks, bool stripShows)
{
    cell.setEditing(editing, false);
    if (auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell); fileCell && fileCell->resource())
        fileCell->setMarked(marks.isMarked(*fileCell->resource()));
    cell.setAccessoryType(stripShows ? ui::TableViewCell::Accessory::None : ui::TableViewCell::Accessory::DisclosureIndicator);
}

void VKFolderRowCells::askThumbnail(ui::TableViewCell& cell)
{
    auto* fileCell = dynamic_cast<VKFileResourceCell*>(&cell);
    if (!fileCell || !fileCell->resource())
        return;
    const auto& resource = fileCell->resource();
    if (!resource->isImageType() || resource->isDownloadResource())
        return;
    auto thumbnails = VKThumbnailManager::sharedManager();
    if (!thumbnails->thumbnailForResource(*resource))
        thumbnails->generateThumbnailAndScreenPreviewForResource(resource);
}
