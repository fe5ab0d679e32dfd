#include "Downloads/VKDownloadFileResource.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/URLRequestAdditions.h"
#include "Kit/URLResponseAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TextFolding.h"
#include "Platform/Core/UUID.h"
#include "Downloads/VKDownloadManager.h"

#include <fmt/format.h>

namespace {

constexpr const char* SuggestedFilenameKey = "SuggestedFilename";
constexpr const char* TargetFolderKey = "TargetFolder";
constexpr const char* RequestKey = "Request";
constexpr const char* ResponseKey = "Response";
constexpr const char* CloudServiceKey = "CloudService";
constexpr const char* CloudPathKey = "CloudPath";
constexpr const char* QuotaAllowedKey = "QuotaAllowed";

std::string downloadsDirectory()
{
    return VKHomeLayout::current()->downloadsDirectory();
}

// A name read back from a state file must stay one plain name in its folder.
bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

// A folder read back from a state file counts only inside the documents.
bool isInsideDocumentRoots(const std::string& folder)
{
    auto layout = VKHomeLayout::current();
    std::string standard = core::path::standardizingPath(folder);
    return core::path::isWithin(standard, layout->documentsDirectory())
        || core::path::isWithin(standard, layout->publicDirectory());
}

} // namespace

VKDownloadFileResource::VKDownloadFileResource(const Private&, std::string path, std::string uuid)
    : VKFileResource(std::move(path))
    , m_uuid(std::move(uuid))
{
}

std::shared_ptr<VKDownloadFileResource> VKDownloadFileResource::createWithRequest(const core::URLRequest& request,
    const std::string& targetFolder)
{
    if (request.url().absoluteString().empty() || targetFolder.empty())
        return nullptr;
    std::string path = VKUniquePathForDownloadPath(
        core::path::appendingPathComponent(targetFolder, suggestedFilename(request)));
    auto item = std::make_shared<VKDownloadFileResource>(Private(), path, core::uuidString());
    item->m_request = request;
    return item;
}

std::shared_ptr<VKDownloadFileResource> VKDownloadFileResource::createWithCloudFileResource(
    const VKCloudFileResource& resource, const std::string& targetFolder)
{
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForResource(resource);
    if (!service || targetFolder.empty())
        return nullptr;
    std::string path = VKUniquePathForDownloadPath(
        core::path::appendingPathComponent(targetFolder, core::path::lastPathComponent(resource.path())));
    auto item = std::make_shared<VKDownloadFileResource>(Private(), path, core::uuidString());
    item->m_cloudServiceName = service->name();
    item->m_cloudPath = resource.cloudPath();
    return item;
}

std::shared_ptr<VKDownloadFileResource> VKDownloadFileResource::createWithExistingUUID(const std::string& uuid)
{
    auto item = std::make_shared<VKDownloadFileResource>(Private(), std::string(), uuid);
    core::Value info = core::PropertyList::readFile(item->downloadInfoPath());
    const core::Value& name = info[SuggestedFilenameKey];
    if (!name.isString() || name.string().empty()) {
        core::log("Warning, invalid VKDownloadFileResource info");
        return nullptr;
    }
    auto layout = VKHomeLayout::current();
    std::string folder = info[TargetFolderKey].isString()
        ? core::path::expandingTildeInPath(info[TargetFolderKey].string())
        : std::string();
    bool isFolder = false;
    if (folder.empty() || !core::fs::exists(folder, &isFolder) || !isFolder || !isInsideDocumentRoots(folder))
        folder = layout->documentsDirectory();
    std::string filename = isPlainName(name.string()) ? name.string() : core::localized("Unknown");
    item->VKFileResource::updatePath(uniquePathForItemAtPath(core::path::appendingPathComponent(folder, filename)));

    if (info[RequestKey].isData()) {
        item->m_request = unarchivedRequest(info[RequestKey].data().view());
        if (!item->m_request) {
            core::log("Warning, invalid VKDownloadFileResource info");
            return nullptr;
        }
        if (info[ResponseKey].isData())
            item->m_response = unarchivedResponse(info[ResponseKey].data().view());
        item->m_expectedSize = item->m_response ? expectedTotalLength(*item->m_response) : 0;
    } else if (info[CloudServiceKey].isString() && info[CloudPathKey].isString()) {
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(info[CloudServiceKey].string());
        if (!service) {
            core::log("Warning, invalid cloud service");
            return nullptr;
        }
        item->m_cloudServiceName = info[CloudServiceKey].string();
        item->m_cloudPath = info[CloudPathKey].string();
        auto resource = service->resourceForCloudPath(item->m_cloudPath);
        item->m_expectedSize = resource ? static_cast<int64_t>(resource->size()) : 0;
    } else {
        core::log("Warning, invalid VKDownloadFileResource info");
        return nullptr;
    }
    item->m_allowedPastQuota = info[QuotaAllowedKey].isBool() && info[QuotaAllowedKey].boolean();
    item->m_state = VKNetworkStatePaused;
    if (item->m_expectedSize != 0)
        item->m_progress = static_cast<float>(static_cast<double>(item->size()) / static_cast<double>(item->m_expectedSize));
    return item;
}

void VKDownloadFileResource::didChange(std::string_view key)
{
    auto found = m_observers.find(key);
    if (found != m_observers.end())
        found->second.notify();
}

void VKDownloadFileResource::setExpectedSize(int64_t size)
{
    if (size == m_expectedSize)
        return;
    m_expectedSize = size;
    didChange("expectedSize");
    didChange("downloadProgress");
}

void VKDownloadFileResource::setDownloadState(VKNetworkState state)
{
    if (state == m_state)
        return;
    m_state = state;
    didChange("downloadState");
}

void VKDownloadFileResource::setDownloadError(std::optional<core::Error> error)
{
    m_error = std::move(error);
    didChange("downloadError");
}

void VKDownloadFileResource::setDownloadProgress(float progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    didChange("downloadProgress");
    didChange("size");
}

std::string VKDownloadFileResource::downloadInfoPath() const
{
    return core::path::appendingPathExtension(core::path::appendingPathComponent(downloadsDirectory(), m_uuid),
        VKDownloadFileResourceInfoExtension);
}

std::string VKDownloadFileResource::downloadPath() const
{
    if (isCloudDownload()) {
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(m_cloudServiceName);
        if (!service)
            return {};
        std::string relative = m_cloudPath;
        while (!relative.empty() && relative.front() == '/')
            relative.erase(0, 1);
        return relative.empty() ? service->localPath() : core::path::appendingPathComponent(service->localPath(), relative);
    }
    return core::path::appendingPathComponent(downloadsDirectory(), m_uuid);
}

std::string VKDownloadFileResource::targetFolder() const
{
    return core::path::deletingLastPathComponent(path());
}

void VKDownloadFileResource::saveState()
{
    core::Value::Dictionary info;
    info[SuggestedFilenameKey] = core::Value(core::path::lastPathComponent(path()));
    info[TargetFolderKey] = core::Value(core::path::abbreviatingWithTildeInPath(targetFolder()));
    if (m_request)
        info[RequestKey] = core::Value(core::Data(archivedRequest(*m_request)));
    if (m_response)
        info[ResponseKey] = core::Value(core::Data(archivedResponse(*m_response)));
    if (isCloudDownload()) {
        info[CloudServiceKey] = core::Value(m_cloudServiceName);
        info[CloudPathKey] = core::Value(m_cloudPath);
    }
    if (m_allowedPastQuota)
        info[QuotaAllowedKey] = core::Value(true);
    // Written over the old file in one step, so a failed write keeps the
    // last good state of a paused download.
    auto bytes = core::PropertyList::write(core::Value(std::move(info)), core::PropertyList::Format::XML);
    if (!bytes || !core::fs::writeFileAtomically(downloadInfoPath(), *bytes))
        core::log("Warning, failed to write download info for: {}", downloadInfoPath());
}

void VKDownloadFileResource::allowPastQuota()
{
    m_allowedPastQuota = true;
    saveState();
}

void VKDownloadFileResource::updatePath(const std::string& newPath)
{
    if (newPath == path())
        return;
    VKFileResource::updatePath(uniquePathForItemAtPath(newPath));
    didChange("path");
    if (m_state != VKNetworkStateDone)
        saveState();
}

void VKDownloadFileResource::removeStateFile() const
{
    core::fs::removeItem(downloadInfoPath());
}

bool VKDownloadFileResource::isActive() const
{
    return m_state == VKNetworkStateWaiting || m_state == VKNetworkStateConnecting
        || m_state == VKNetworkStateDownloading || m_state == VKNetworkStateFinalizing;
}

bool VKDownloadFileResource::isDirectory() const
{
    if (!isCloudDownload())
        return false;
    auto service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(m_cloudServiceName);
    auto resource = service ? service->resourceForCloudPath(m_cloudPath) : nullptr;
    return resource && resource->isDirectory();
}

uint64_t VKDownloadFileResource::size() const
{
    if (m_state == VKNetworkStateDownloading)
        return static_cast<uint64_t>(static_cast<float>(m_expectedSize) * m_progress);
    std::string partial = downloadPath();
    return partial.empty() ? 0 : sizeOfItemAtPath(partial);
}

int32_t VKDownloadFileResource::supportedFileOperations() const
{
    if (isActive())
        return VKFileResourceOperationDelete;
    return VKFileResourceOperationDelete | VKFileResourceOperationMove;
}

std::optional<std::string> VKDownloadFileResource::localizedDescriptionForUnsupportedFileOperation(int32_t) const
{
    return core::localized("Operation not supported for incomplete downloads");
}

bool VKDownloadFileResource::isEqual(const core::Object& other) const
{
    const auto* item = dynamic_cast<const VKDownloadFileResource*>(&other);
    return item && item->m_uuid == m_uuid;
}

size_t VKDownloadFileResource::hash() const
{
    return std::hash<std::string>()(m_uuid);
}

std::string VKDownloadFileResource::description() const
{
    return fmt::format("{} state:{}", VKFileResource::description(), static_cast<int>(m_state));
}

core::Observation VKDownloadFileResource::observeValueForKey(std::string_view key, std::function<void()> handler)
{
    auto found = m_observers.find(key);
    if (found == m_observers.end())
        found = m_observers.try_emplace(std::string(key)).first;
    return found->second.add(std::move(handler));
}

bool VKDownloadNameMatchesDownloads(const std::string& name,
    const std::vector<std::shared_ptr<VKFileResource>>& downloads)
{
    std::string folded = core::caseFolded(name);
    for (const auto& item : downloads)
        if (item && core::caseFolded(item->name()) == folded)
            return true;
    return false;
}

std::string VKUniquePathForDownloadPath(const std::string& path)
{
    std::string folder = core::path::deletingLastPathComponent(path);
    std::string name = core::path::lastPathComponent(path);
    std::string base = core::path::deletingPathExtension(name);
    std::string extension = core::path::pathExtension(name);
    std::string unique = uniquePathForItemAtPath(path);
    auto downloads = VKDownloadManager::sharedManager()->downloadsForTargetFolder(folder);
    if (!downloads.empty()) {
        std::string candidate = core::path::lastPathComponent(unique);
        for (int n = 1; VKDownloadNameMatchesDownloads(candidate, downloads); ++n)
            candidate = extension.empty() ? fmt::format("{} {}", base, n) : fmt::format("{} {}.{}", base, n, extension);
        unique = core::path::appendingPathComponent(folder, candidate);
    }
    return uniquePathForItemAtPath(unique);
}
