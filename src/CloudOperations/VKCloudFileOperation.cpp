#include "CloudOperations/VKCloudFileOperation.h"

#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudService.h"
#include "Platform/Core/Path.h"

#include <algorithm>
#include <limits>

namespace {

std::vector<std::shared_ptr<VKFileResource>> withoutNull(std::vector<std::shared_ptr<VKFileResource>> resources)
{
    std::erase(resources, nullptr);
    return resources;
}

} // namespace

// A selection may name items that went away meanwhile: they are left out.
VKCloudFileOperation::VKCloudFileOperation(std::vector<std::shared_ptr<VKFileResource>> resources)
    : VKFileOperation(withoutNull(std::move(resources)))
{
}

std::shared_ptr<VKCloudServiceDelegate> VKCloudFileOperation::callback()
{
    return std::shared_ptr<VKCloudServiceDelegate>(shared_from_this(), static_cast<VKCloudServiceDelegate*>(this));
}

void VKCloudFileOperation::endWithError(const core::Error& error)
{
    if (m_ended)
        return;
    m_ended = true;
    auto keep = shared_from_this();
    if (auto delegate = this->delegate())
        delegate->fileOperationDidEnd(*this, error);
    endBackgroundTask();
}

void VKCloudFileOperation::sendDidEndDelegateMessage()
{
    if (m_ended)
        return;
    m_ended = true;
    auto keep = shared_from_this();
    // What the answers changed in the mirror is kept before anyone hears of
    // the end.
    if (auto store = VKCloudFileStore::sharedStore())
        store->saveContext();
    VKFileOperation::sendDidEndDelegateMessage();
}

void VKCloudFileOperation::didAnswer(bool failed)
{
    if (m_ended)
        return;
    ++m_processedCount;
    if (failed)
        ++m_errorCount;
    if (m_processedCount >= resources().size())
        sendDidEndDelegateMessage();
}

std::shared_ptr<VKCloudFileResource> VKCloudFileOperation::cloudResource(const std::shared_ptr<VKFileResource>& resource)
{
    return std::dynamic_pointer_cast<VKCloudFileResource>(resource);
}

std::string VKCloudFileOperation::cloudPathInFolder(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() != '/')
        return folder + "/" + name;
    return folder + name;
}

std::optional<std::string> VKCloudFileOperation::localPathForCloudPath(VKCloudService& service,
    const std::string& cloudPath)
{
    if (cloudPath.size() < 2 || cloudPath.front() != '/')
        return std::nullopt;
    std::string rest = cloudPath.substr(1);
    if (rest.back() == '/')
        rest.pop_back();
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = std::min(rest.find('/', start), rest.size());
        if (!isValidItemName(rest.substr(start, end - start)))
            return std::nullopt;
        start = end + 1;
    }
    return core::path::appendingPathComponent(service.localPath(), rest);
}

bool VKCloudFileOperation::isValidItemName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

namespace cloudbytes {

uint64_t scaled(uint64_t bytes, float progress)
{
    const float value = static_cast<float>(bytes) * progress;
    if (!(value > 0))
        return 0;
    if (value >= static_cast<float>(std::numeric_limits<uint64_t>::max()))
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(value);
}

void reportProgress(VKFileOperation& operation, const VKCloudByteCounts& done, const VKCloudByteCounts& total)
{
    const uint64_t whole = total.total();
    if (whole == 0)
        return;
    const float progress = static_cast<float>(double(done.total()) / double(whole));
    operation.setProgress(progress);
    if (auto delegate = operation.delegate())
        delegate->fileOperation(operation, progress);
}

} // namespace cloudbytes
