#pragma once

#include "Platform/Core/Object.h"
#include "Platform/UI/TableViewDataSource.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKCloudService;
class VKFileResource;

// The rows of the store's roots, shared by the root list and the folder
// picker's first screen: the local document folders under the device's
// name, then the cloud services under "Servers". A group without rows has
// no section, so with no local folders the services are section 0.
class VKRootFolderDataSource : public core::Object, public ui::TableViewDataSource {
public:
    // Makes a new cell for a reuse identifier; a plain default cell when
    // not set.
    using CellFactory = std::function<std::shared_ptr<ui::TableViewCell>(const std::string& identifier)>;
    static constexpr const char* CellIdentifier = "VKRootFolderCell";

    static std::shared_ptr<VKRootFolderDataSource> create(std::vector<std::string> localDirectories = {},
        std::vector<std::string> cloudServiceKeys = {});

    const std::vector<std::string>& localDirectories() const { return m_localDirectories; }
    void setLocalDirectories(std::vector<std::string> directories);
    const std::vector<std::string>& cloudServiceKeys() const { return m_cloudServiceKeys; }
    void setCloudServiceKeys(std::vector<std::string> keys);
    const CellFactory& cellClass() const { return m_cellClass; }
    void setCellClass(CellFactory factory) { m_cellClass = std::move(factory); }

    // The section of the services, when they are listed.
    std::optional<int> cloudServiceSection() const;
    bool isLocalIndexPath(ui::IndexPath path) const;
    std::string titleForIndexPath(ui::IndexPath path) const;
    // A local root's resource; a linked service's mirror folder; nothing
    // for a service that is not linked or a path out of range.
    std::shared_ptr<VKFileResource> resourceForIndexPath(ui::IndexPath path) const;
    // Nothing for a local row.
    std::shared_ptr<VKCloudService> cloudServiceForIndexPath(ui::IndexPath path) const;

    int numberOfSections(ui::TableView&) override { return int(m_sectionTitles.size()); }
    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override;
    bool canEditRow(ui::TableView&, ui::IndexPath) override { return false; }

    // The local section's header: the device's name, else "Local Documents".
    static std::string localSectionTitle();

private:
    void rebuildSectionTitles();

    std::vector<std::string> m_localDirectories;
    std::vector<std::string> m_sectionTitles;
    std::vector<std::string> m_cloudServiceKeys;
    CellFactory m_cellClass;
};
