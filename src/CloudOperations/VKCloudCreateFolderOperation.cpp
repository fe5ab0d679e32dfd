#include "CloudOperations/VKCloudCreateFolderOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/ErrorAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"

#include <fmt/format.h>

std::shared_ptr<VKCloudCreateFolderOperation> VKCloudCreateFolderOperation::initWithPath(std::string path)
{
    return std::shared_ptr<VKCloudCreateFolderOperation>(new VKCloudCreateFolderOperation(std::move(path)));
}

VKCloudCreateFolderOperation::VKCloudCreateFolderOperation(std::string path)
    : VKCloudFileOperation({})
    , m_folderPath(std::move(path))
{
    setLabel(core::localized("Creating Folder..."));
}

std::string VKCloudCreateFolderOperation::localizedErrorDescription()
{
    return fmt::format(fmt::runtime(core::localized("There was an error creating the folder \"{}\"")),
        core::path::lastPathComponent(m_folderPath));
}

void VKCloudCreateFolderOperation::run()
{
    auto parent = VKCloudFileResource::resourceWithPath(core::path::deletingLastPathComponent(m_folderPath));
    auto service = parent ? VKCloudServicesManager::sharedManager()->cloudServiceForResource(*parent) : nullptr;
    const std::string name = core::path::lastPathComponent(m_folderPath);
    if (!parent || !service || !parent->isDirectory() || !isValidItemName(name)) {
        endWithError(errorWithDomain(VKFileOperationErrorDomain, 2, localizedErrorDescription()));
        return;
    }
    beginBackgroundTask();
    service->createDirectoryAtPath(cloudPathInFolder(parent->cloudPath(), name), callback());
}

void VKCloudCreateFolderOperation::cloudServiceDidCreateDirectoryAtPath(VKCloudService&, const std::string&)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    core::Error error;
    auto store = VKCloudFileStore::sharedStore();
    auto node = store ? store->insertObjectForPath(m_folderPath, &error) : nullptr;
    if (node)
        node->setIsDirectory(true);
    else
        core::log("Warning, insertObjectForPath: error: {}", error);
    sendDidEndDelegateMessage();
}

void VKCloudCreateFolderOperation::cloudServiceCreateDirectoryFailedForPath(VKCloudService&, const std::string&,
    const core::Error&)
{
    if (m_ended)
        return;
    auto keep = shared_from_this();
    ++m_errorCount;
    sendDidEndDelegateMessage();
}
