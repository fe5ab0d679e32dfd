#include "Support/FileModel/RecordingCloudHooks.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"

namespace test {

std::shared_ptr<RecordingCloudHooks> RecordingCloudHooks::install()
{
    auto hooks = std::make_shared<RecordingCloudHooks>();
    VKCloudHooks::setCurrent(hooks);
    return hooks;
}

std::shared_ptr<FakeCloudFileResource> RecordingCloudHooks::addResource(const std::string& service,
    const std::string& path, const std::string& cloudPath)
{
    auto resource = FakeCloudFileResource::create(path, cloudPath);
    std::lock_guard lock(m_mutex);
    m_items[path] = { service, resource };
    return resource;
}

std::shared_ptr<VKFileResource> RecordingCloudHooks::resourceWithPath(const std::string& path)
{
    record("resourceWithPath " + path);
    std::lock_guard lock(m_mutex);
    auto found = m_items.find(path);
    return found == m_items.end() ? nullptr : found->second.resource;
}

void RecordingCloudHooks::deleteMirrorObjectAndSave(const VKFileResource& resource)
{
    record("deleteMirrorObjectAndSave " + resource.path());
    std::lock_guard lock(m_mutex);
    m_items.erase(resource.path());
}

void RecordingCloudHooks::saveContext()
{
    record("saveContext");
}

void RecordingCloudHooks::fetchThumbnail(const VKFileResource& resource, const std::string& destination, int sizeCode,
    std::weak_ptr<VKCloudThumbnailCallback> callback)
{
    record("fetchThumbnail " + resource.cloudPath() + " " + destination + " " + std::to_string(sizeCode));
    std::lock_guard lock(m_mutex);
    auto found = m_items.find(resource.path());
    std::string service = found == m_items.end() ? std::string() : found->second.service;
    m_fetches.push_back({ service, resource.cloudPath(), destination, std::move(callback) });
}

std::shared_ptr<VKFileResource> RecordingCloudHooks::resourceForCloudPath(const std::string& service,
    const std::string& cloudPath)
{
    record("resourceForCloudPath " + service + " " + cloudPath);
    std::lock_guard lock(m_mutex);
    for (const auto& [path, item] : m_items) {
        if (item.service == service && item.resource->cloudPath() == cloudPath)
            return item.resource;
    }
    return nullptr;
}

bool RecordingCloudHooks::endThumbnailFetch(bool succeeded)
{
    Fetch fetch;
    {
        std::lock_guard lock(m_mutex);
        if (m_fetches.empty())
            return false;
        fetch = m_fetches.front();
        m_fetches.erase(m_fetches.begin());
    }
    auto callback = fetch.callback.lock();
    if (!callback)
        return true;
    if (succeeded) {
        // A fetched thumbnail is a small picture at the destination.
        static const std::string picture = gfx::makeImageContext({ 4, 4 }, 1)->makeImage()->pngRepresentation().value_or("");
        core::fs::writeFileAtomically(fetch.destination, picture);
        callback->thumbnailFetchCompleted(fetch.service, fetch.cloudPath, fetch.destination);
    } else {
        callback->thumbnailFetchFailed(fetch.service, fetch.cloudPath);
    }
    return true;
}

bool RecordingCloudHooks::completeThumbnailFetch()
{
    return endThumbnailFetch(true);
}

bool RecordingCloudHooks::failThumbnailFetch()
{
    return endThumbnailFetch(false);
}

size_t RecordingCloudHooks::pendingThumbnailFetches() const
{
    std::lock_guard lock(m_mutex);
    return m_fetches.size();
}

} // namespace test
