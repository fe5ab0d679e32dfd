#include "App/FolderBrowser/VKRootFolderDataSource.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/ImageView.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"

std::shared_ptr<VKRootFolderDataSource> VKRootFolderDataSource::create(std::vector<std::string> localDirectories,
    std::vector<std::string> cloudServiceKeys)
{
    auto source = std::make_shared<VKRootFolderDataSource>();
    source->m_localDirectories = std::move(localDirectories);
    source->m_cloudServiceKeys = std::move(cloudServiceKeys);
    source->rebuildSectionTitles();
    return source;
}

void VKRootFolderDataSource::setLocalDirectories(std::vector<std::string> directories)
{
    m_localDirectories = std::move(directories);
    rebuildSectionTitles();
}

void VKRootFolderDataSource::setCloudServiceKeys(std::vector<std::string> keys)
{
    m_cloudServiceKeys = std::move(keys);
    rebuildSectionTitles();
}

std::string VKRootFolderDataSource::localSectionTitle()
{
    std::string name = core::Device::current()->name();
    return name.empty() ? core::localized("Local Documents") : name;
}

void VKRootFolderDataSource::rebuildSectionTitles()
{
    m_sectionTitles.clear();
    if (!m_localDirectories.empty())
        m_sectionTitles.push_back(localSectionTitle());
    if (!m_cloudServiceKeys.empty())
        m_sectionTitles.push_back(core::localized("Servers"));
}

std::optional<int> VKRootFolderDataSource::cloudServiceSection() const
{
    if (m_cloudServiceKeys.empty())
        return std::nullopt;
    return m_localDirectories.empty() ? 0 : 1;
}

bool VKRootFolderDataSource::isLocalIndexPath(ui::IndexPath path) const
{
    return path.section == 0 && !m_localDirectories.empty();
}

int VKRootFolderDataSource::numberOfRows(ui::TableView&, int section)
{
    if (section == 0 && !m_localDirectories.empty())
        return int(m_localDirectories.size());
    return section == cloudServiceSection() ? int(m_cloudServiceKeys.size()) : 0;
}

std::optional<std::string> VKRootFolderDataSource::titleForHeader(ui::TableView&, int section)
{
    if (section < 0 || size_t(section) >= m_sectionTitles.size())
        return std::nullopt;
    return m_sectionTitles[size_t(section)];
}

std::string VKRootFolderDataSource::titleForIndexPath(ui::IndexPath path) const
{
    if (path.row < 0)
        return {};
    if (isLocalIndexPath(path)) {
        if (size_t(path.row) >= m_localDirectories.size())
            return {};
        auto resource = VKFileResource::resourceWithPath(m_localDirectories[size_t(path.row)]);
        return resource ? resource->localizedName() : std::string();
    }
    if (path.section != cloudServiceSection() || size_t(path.row) >= m_cloudServiceKeys.size())
        return {};
    return m_cloudServiceKeys[size_t(path.row)];
}

std::shared_ptr<VKFileResource> VKRootFolderDataSource::resourceForIndexPath(ui::IndexPath path) const
{
    if (path.row < 0)
        return nullptr;
    if (isLocalIndexPath(path)) {
        if (size_t(path.row) >= m_localDirectories.size())
            return nullptr;
        return VKFileResource::resourceWithPath(m_localDirectories[size_t(path.row)]);
    }
    auto service = cloudServiceForIndexPath(path);
    if (!service || !service->isLinked())
        return nullptr;
    return VKCloudFileResource::resourceWithPath(service->localPath());
}

std::shared_ptr<VKCloudService> VKRootFolderDataSource::cloudServiceForIndexPath(ui::IndexPath path) const
{
    if (path.row < 0 || path.section != cloudServiceSection() || size_t(path.row) >= m_cloudServiceKeys.size())
        return nullptr;
    return VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(m_cloudServiceKeys[size_t(path.row)]);
}

std::shared_ptr<ui::TableViewCell> VKRootFolderDataSource::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = m_cellClass ? m_cellClass(CellIdentifier) : nullptr;
        if (!cell)
            cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, CellIdentifier);
        cell->setAccessoryType(ui::TableViewCell::Accessory::DisclosureIndicator);
    }
    cell->imageView().setImage(ui::Images::imageNamed("Folder-32.png"));
    cell->textLabel().setText(titleForIndexPath(path));
    return cell;
}
