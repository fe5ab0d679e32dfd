#include "FileModel/VKThumbnailManager.h"

#include "Shell/ImageScalingAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailImageOperation.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/ObjectAdditions.h"
#include "Kit/VKHomeLayout.h"
#include "Kit/VKImageOperationQueue.h"
#include "Kit/VKSelectorOperation.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr core::NoticeName<VKThumbnailNews> ThumbnailGenerationFailedNotification { "VKThumbnailManagerThumbnailGenerationFailedNotification" };
constexpr float JPEGQuality = 0.7f;

std::mutex thumbnailManagerMutex;
std::shared_ptr<VKThumbnailManager> sharedThumbnailManager;

std::optional<std::string> stringIn(const core::Value& dictionary, std::string_view key)
{
    if (!dictionary.isDictionary())
        return std::nullopt;
    const auto& entries = dictionary.dictionary();
    auto found = entries.find(key);
    if (found == entries.end() || !found->second.isString())
        return std::nullopt;
    return found->second.string();
}

std::shared_ptr<gfx::Image> imageAtCachePath(const std::optional<std::string>& path)
{
    // A missing file is the common case and not worth a log line.
    if (!path || !core::fs::exists(*path))
        return nullptr;
    return gfx::Image::imageWithContentsOfFile(*path);
}

// A picture of the home: one a link leads out of the home to is never read.
std::shared_ptr<gfx::Image> pictureInHome(const std::string& path)
{
    return gfx::Image::imageWithContentsOfFileWithin(path, core::paths::home());
}

} // namespace

std::shared_ptr<VKThumbnailManager> VKThumbnailManager::sharedManager()
{
    std::shared_ptr<VKThumbnailManager> manager;
    {
        std::lock_guard lock(thumbnailManagerMutex);
        if (sharedThumbnailManager)
            return sharedThumbnailManager;
        auto layout = VKHomeLayout::current();
        manager = std::shared_ptr<VKThumbnailManager>(new VKThumbnailManager(
            layout->metadataSubdirectory("ThumbnailCache"), layout->metadataSubdirectory("PreviewCache")));
        sharedThumbnailManager = manager;
    }
    manager->checkScreenScale();
    return manager;
}

void VKThumbnailManager::setSharedManagerForTesting(std::shared_ptr<VKThumbnailManager> manager)
{
    std::lock_guard lock(thumbnailManagerMutex);
    sharedThumbnailManager = std::move(manager);
}

VKThumbnailManager::VKThumbnailManager(std::string thumbnailCacheDirectory, std::string previewCacheDirectory)
    : m_thumbnailCacheDirectory(std::move(thumbnailCacheDirectory))
    , m_previewCacheDirectory(std::move(previewCacheDirectory))
{
}

void VKThumbnailManager::checkScreenScale()
{
    auto defaults = core::UserDefaults::standard();
    float scale = gfx::Screen::main().scale();
    if (static_cast<float>(defaults->doubleForKey(ScreenScaleKey)) == scale)
        return;
    resetCaches();
    defaults->set(ScreenScaleKey, static_cast<double>(scale));
}

float VKThumbnailManager::deviceThumbnailSize()
{
    return gfx::Screen::main().scale() > 1 ? 128.0f : 64.0f;
}

void VKThumbnailManager::clearCacheDirectory(const std::string& directory)
{
    if (!moveItemAtPathToTrash(directory)) {
        core::log("Warning, failed to delete cache path: {}", directory);
        return;
    }
    core::fs::createDirectory(directory, false);
}

void VKThumbnailManager::resetCaches()
{
    forgetThumbnails();
    clearCacheDirectory(m_thumbnailCacheDirectory);
    clearCacheDirectory(m_previewCacheDirectory);
}

std::optional<std::string> VKThumbnailManager::cachePathForResource(const VKFileResource& resource,
    const std::string& root)
{
    std::string uuid = resource.UUID();
    if (uuid.empty()) {
        core::log("Warning, invalid UUID for: {}", resource.description());
        return std::nullopt;
    }
    return root + "/" + uuid;
}

std::optional<std::string> VKThumbnailManager::thumbnailCachePathForResource(const VKFileResource& resource) const
{
    return cachePathForResource(resource, m_thumbnailCacheDirectory);
}

std::optional<std::string> VKThumbnailManager::previewCachePathForResource(const VKFileResource& resource) const
{
    return cachePathForResource(resource, m_previewCacheDirectory);
}

bool VKThumbnailManager::isUUIDQueued(const std::string& uuid) const
{
    std::lock_guard lock(m_queueMutex);
    return m_thumbnailQueue.contains(uuid);
}

void VKThumbnailManager::addUUIDToQueue(const std::string& uuid)
{
    if (uuid.empty())
        return;
    std::lock_guard lock(m_queueMutex);
    m_thumbnailQueue.try_emplace(uuid, nullptr);
}

void VKThumbnailManager::removeUUIDFromQueue(const std::string& uuid)
{
    if (uuid.empty())
        return;
    std::lock_guard lock(m_queueMutex);
    m_thumbnailQueue.erase(uuid);
}

void VKThumbnailManager::claimUUID(const std::string& uuid, const void* operation)
{
    if (uuid.empty())
        return;
    std::lock_guard lock(m_queueMutex);
    m_thumbnailQueue[uuid] = operation;
}

void VKThumbnailManager::releaseUUID(const std::string& uuid, const void* operation)
{
    std::lock_guard lock(m_queueMutex);
    auto found = m_thumbnailQueue.find(uuid);
    if (found != m_thumbnailQueue.end() && found->second == operation)
        m_thumbnailQueue.erase(found);
}

void VKThumbnailManager::generateThumbnailAndScreenPreviewForResource(const std::shared_ptr<VKFileResource>& resource)
{
    if (!resource || !resource->isImageType())
        return;
    std::string uuid = resource->UUID();
    if (isUUIDQueued(uuid))
        return;

    if (resource->isCloudResource() && !core::fs::exists(resource->path())) {
        auto deadline = m_cloudRequestTimeouts.find(uuid);
        core::Date now = core::Date::now();
        if (deadline != m_cloudRequestTimeouts.end() && deadline->second > now)
            return;
        auto hooks = VKCloudHooks::current();
        auto destination = thumbnailCachePathForResource(*resource);
        if (!hooks || !destination)
            return;
        m_cloudRequestTimeouts[uuid] = now.addingTimeInterval(CloudRequestInterval);
        addUUIDToQueue(uuid);
        hooks->fetchThumbnail(*resource, *destination, 0, sharedAs<VKThumbnailManager>());
        return;
    }

    addUUIDToQueue(uuid);
    if (auto queue = VKImageOperationQueue::sharedQueue())
        queue->addOperation(VKThumbnailImageOperation::create(*resource, sharedAs<VKThumbnailManager>()));
}

std::shared_ptr<gfx::Image> VKThumbnailManager::thumbnailForResource(const VKFileResource& resource) const
{
    if (!resource.isImageType() || isUUIDQueued(resource.UUID()))
        return nullptr;
    auto path = thumbnailCachePathForResource(resource);
    if (!path)
        return nullptr;
    if (auto thumbnail = rememberedThumbnail(*path))
        return thumbnail;
    if (core::fs::exists(*path))
        loadThumbnailForResource(resource, *path);
    return nullptr;
}

void VKThumbnailManager::loadThumbnailForResource(const VKFileResource& resource, const std::string& thumbnailCachePath) const
{
    auto queue = VKImageOperationQueue::sharedQueue();
    if (!queue)
        return;
    {
        std::lock_guard lock(m_memoryMutex);
        m_loading[thumbnailCachePath] = std::const_pointer_cast<VKFileResource>(resource.sharedAs<VKFileResource>());
    }
    auto self = std::const_pointer_cast<VKThumbnailManager>(sharedAs<VKThumbnailManager>());
    queue->addOperation(VKThumbnailImageOperation::createLoad(resource, self));
}

std::shared_ptr<gfx::Image> VKThumbnailManager::rememberedThumbnail(const std::string& path) const
{
    std::lock_guard lock(m_memoryMutex);
    auto found = m_memory.find(path);
    if (found == m_memory.end())
        return nullptr;
    found->second.lastUse = ++m_memoryClock;
    return found->second.thumbnail;
}

void VKThumbnailManager::rememberThumbnail(const std::string& path, std::shared_ptr<gfx::Image> thumbnail)
{
    std::lock_guard lock(m_memoryMutex);
    m_memory[path] = { std::move(thumbnail), ++m_memoryClock };
    if (m_memory.size() <= MaximumThumbnailsInMemory)
        return;
    auto oldest = std::min_element(m_memory.begin(), m_memory.end(),
        [](const auto& a, const auto& b) { return a.second.lastUse < b.second.lastUse; });
    m_memory.erase(oldest);
}

void VKThumbnailManager::forgetThumbnail(const std::string& path)
{
    std::lock_guard lock(m_memoryMutex);
    m_memory.erase(path);
}

void VKThumbnailManager::forgetThumbnails()
{
    std::lock_guard lock(m_memoryMutex);
    m_memory.clear();
}

std::shared_ptr<gfx::Image> VKThumbnailManager::previewForResource(const VKFileResource& resource) const
{
    if (!resource.isImageType() || isUUIDQueued(resource.UUID()))
        return nullptr;
    return imageAtCachePath(previewCachePathForResource(resource));
}

bool VKThumbnailManager::imageRequiresPreview(const gfx::Image* image)
{
    if (!image)
        return false;
    gfx::Size size = image->size();
    gfx::Size screen = gfx::Screen::main().pixelSize();
    return double(size.width) * size.height > 2.0 * screen.width * screen.height;
}

bool VKThumbnailManager::resourceRequiresPreview(const VKFileResource& resource) const
{
    if (!resource.isImageType())
        return false;
    return imageRequiresPreview(pictureInHome(resource.path()).get());
}

bool VKThumbnailManager::writeImage(const gfx::Image& image, const std::string& mimeType, const std::string& path)
{
    bool written = mimeType == "image/jpeg" ? image.writeJPEG(path, JPEGQuality) : image.writePNG(path);
    if (!written)
        core::log("Warning, failed to write image to path: {}", core::path::abbreviatingWithTildeInPath(path));
    return written;
}

std::shared_ptr<gfx::Image> VKThumbnailManager::makePreview(const std::shared_ptr<gfx::Image>& image)
{
    if (!imageRequiresPreview(image.get()))
        return nullptr;
    gfx::Size size = image->size();
    gfx::Size screen = gfx::Screen::main().pixelSize();
    float edge = std::min({ size.width, size.height, std::max(screen.width, screen.height) });
    gfx::Size target = vkSizeConstrainedTo(size, edge);
    // Drawn at most half its size, a JPEG decodes at 1/2, 1/4 or 1/8 of it,
    // for a fraction of a whole decode. When such a decode falls a little
    // short of the preview (a 4000-pixel photo for a 2048-pixel screen), it
    // is made exactly and enlarged the last few percent.
    if (image->format() == gfx::ImageFormat::JPEG) {
        for (int denominator : { 8, 4, 2 }) {
            gfx::Size reduced { std::floor(size.width / float(denominator)), std::floor(size.height / float(denominator)) };
            if (reduced.width < target.width && reduced.width >= 0.95f * target.width && reduced.height > 0) {
                auto decoded = vkImageScaledToSize(image, reduced, gfx::InterpolationQuality::Low);
                return decoded ? vkImageScaledToSize(decoded, target, gfx::InterpolationQuality::Low) : nullptr;
            }
        }
    }
    return vkImageScaledToSize(image, target, gfx::InterpolationQuality::High);
}

void VKThumbnailManager::generatePreviewsForPath(const std::string& path, const core::Value& cachePaths)
{
    auto thumbnailPath = stringIn(cachePaths, "thumbnailCachePath");
    auto previewPath = stringIn(cachePaths, "previewCachePath");
    if (cachePaths.isDictionary() && cachePaths["loadOnly"].isBool() && cachePaths["loadOnly"].boolean()) {
        if (thumbnailPath)
            loadThumbnailForPath(path, *thumbnailPath);
        return;
    }
    auto image = pictureInHome(path);
    std::shared_ptr<gfx::Image> preview;
    if (previewPath && imageRequiresPreview(image.get())) {
        preview = makePreview(image);
        if (!preview)
            core::log("Warning: failed to generate preview for path: {}", core::path::abbreviatingWithTildeInPath(path));
    }
    storePreviewsForPath(path, std::move(image), std::move(preview), thumbnailPath, previewPath);
}

void VKThumbnailManager::storePreviewsForPath(const std::string& path, std::shared_ptr<gfx::Image> image,
    std::shared_ptr<gfx::Image> preview, const std::optional<std::string>& thumbnailPath,
    const std::optional<std::string>& previewPath)
{
    std::string mimeType = mimeTypeOfItemAtPath(path);
    std::optional<std::string> madeThumbnail, madePreview;
    if (preview && previewPath && writeImage(*preview, mimeType, *previewPath))
        madePreview = previewPath;
    if (thumbnailPath) {
        // The thumbnail comes from the preview when there is one; the full
        // image is let go first, so that at most one of them is decoded at
        // a time.
        auto source = preview ? std::move(preview) : std::move(image);
        image.reset();
        gfx::Size size = source ? source->size() : gfx::Size {};
        auto thumbnail = source
            ? vkImageScaledToSize(source, vkSizeConstrainedTo(size, deviceThumbnailSize()), gfx::InterpolationQuality::Low)
            : nullptr;
        if (!thumbnail)
            core::log("Warning: failed to generate thumbnail for path: {}", core::path::abbreviatingWithTildeInPath(path));
        else if (writeImage(*thumbnail, mimeType, *thumbnailPath))
            madeThumbnail = thumbnailPath;
        // Kept as made: never read back.
        if (madeThumbnail)
            rememberThumbnail(*thumbnailPath, thumbnail);
        else
            forgetThumbnail(*thumbnailPath);
    }
    vkProxyForMainThread(sharedAs<VKThumbnailManager>()).send([path, madeThumbnail, madePreview](VKThumbnailManager& manager) {
        manager.didGeneratePreviewsForPath(path, madeThumbnail, madePreview);
    });
}

void VKThumbnailManager::loadThumbnailForPath(const std::string& path, const std::string& thumbnailCachePath)
{
    auto thumbnail = core::fs::exists(thumbnailCachePath) ? gfx::Image::imageWithContentsOfFile(thumbnailCachePath) : nullptr;
    if (!thumbnail || !thumbnail->decode()) {
        removeCacheAtPath(thumbnailCachePath, m_thumbnailCacheDirectory);
        std::lock_guard lock(m_memoryMutex);
        m_loading.erase(thumbnailCachePath);
        return;
    }
    rememberThumbnail(thumbnailCachePath, std::move(thumbnail));
    vkProxyForMainThread(sharedAs<VKThumbnailManager>()).send([path, thumbnailCachePath](VKThumbnailManager& manager) {
        manager.didLoadThumbnailForPath(path, thumbnailCachePath);
    });
}

void VKThumbnailManager::didLoadThumbnailForPath(const std::string& path, const std::string& thumbnailCachePath)
{
    std::shared_ptr<VKFileResource> resource;
    {
        std::lock_guard lock(m_memoryMutex);
        if (auto found = m_loading.find(thumbnailCachePath); found != m_loading.end()) {
            resource = found->second;
            m_loading.erase(found);
        }
    }
    // A local item that went meanwhile leaves nothing behind.
    if (!resource || (!resource->isCloudResource() && !core::fs::exists(path))) {
        forgetThumbnail(thumbnailCachePath);
        return;
    }
    // Told, the item is no longer under way, even if the worker has not yet
    // let its operation go.
    removeUUIDFromQueue(resource->UUID());
    post(VKThumbnailManagerDidGenerateThumbnailNotification, resource);
}

void VKThumbnailManager::didGeneratePreviewsForPath(const std::string& path,
    const std::optional<std::string>& thumbnailCachePath, const std::optional<std::string>& previewCachePath)
{
    auto resource = VKFileResource::resourceWithPath(path);
    if (!resource) {
        // The item went while its files were made: nothing may outlive it.
        if (thumbnailCachePath) {
            forgetThumbnail(*thumbnailCachePath);
            removeCacheAtPath(*thumbnailCachePath, m_thumbnailCacheDirectory);
        }
        if (previewCachePath)
            removeCacheAtPath(*previewCachePath, m_previewCacheDirectory);
        return;
    }
    removeUUIDFromQueue(resource->UUID());
    post(thumbnailCachePath ? VKThumbnailManagerDidGenerateThumbnailNotification : ThumbnailGenerationFailedNotification,
        resource);
    post(previewCachePath ? VKThumbnailManagerDidGeneratePreviewNotification : VKThumbnailManagerPreviewGeneralFailedNotification,
        resource);
}

void VKThumbnailManager::post(core::NoticeName<VKThumbnailNews> name, const std::shared_ptr<VKFileResource>& resource)
{
    core::NotificationCenter::defaultCenter().post(name, shared_from_this(), { resource });
}

void VKThumbnailManager::thumbnailFetchCompleted(const std::string& service, const std::string& cloudPath,
    const std::string& destination)
{
    removeUUIDFromQueue(std::string(core::path::lastPathComponent(destination)));
    forgetThumbnail(destination);
    auto hooks = VKCloudHooks::current();
    auto resource = hooks ? hooks->resourceForCloudPath(service, cloudPath) : nullptr;
    if (!resource) {
        // Only ever a file of our own cache: the name comes back from the
        // cloud layer.
        if (core::path::deletingLastPathComponent(destination) == m_thumbnailCacheDirectory)
            removeCacheAtPath(destination, m_thumbnailCacheDirectory);
        return;
    }
    // Decoded on the image queue, which tells the item once it is kept.
    loadThumbnailForResource(*resource, destination);
}

void VKThumbnailManager::thumbnailFetchFailed(const std::string& service, const std::string& cloudPath)
{
    core::log("Warning, thumbnailFetchFailedForPath: {}", cloudPath);
    auto hooks = VKCloudHooks::current();
    auto resource = hooks ? hooks->resourceForCloudPath(service, cloudPath) : nullptr;
    if (!resource) {
        core::log("Warning, unable to remove cloud UUID from thumbnail queue: {}", cloudPath);
        return;
    }
    // The deadline stays: the item is asked for again only once it passed.
    removeUUIDFromQueue(resource->UUID());
}

void VKThumbnailManager::removeCacheForResource(const VKFileResource& resource)
{
    // An item that never had a UUID has no caches, and one made now would
    // only cost its write.
    const std::string uuid = resource.existingUUID();
    if (uuid.empty())
        return;
    removeUUIDFromQueue(uuid);
    const std::string thumbnail = m_thumbnailCacheDirectory + "/" + uuid;
    forgetThumbnail(thumbnail);
    removeCacheAtPath(thumbnail, m_thumbnailCacheDirectory);
    removeCacheAtPath(m_previewCacheDirectory + "/" + uuid, m_previewCacheDirectory);
}

void VKThumbnailManager::removeCacheAtPath(const std::string& path, const std::string& /*directory*/)
{
    if (core::fs::exists(path))
        core::fs::removeItem(path);
}

void VKThumbnailManager::pruneCaches()
{
    auto queue = VKImageOperationQueue::sharedQueue();
    if (!queue)
        return;
    queue->addOperation(VKSelectorOperation::create(sharedAs<VKThumbnailManager>(), "pruneCachesOperation", nullptr,
        [](VKThumbnailManager& manager, const auto&) { manager.pruneCachesOperation(); }));
}

void VKThumbnailManager::pruneCachesOperation()
{
    uint64_t thumbnails = sizeOfDirectoryContentsAtPath(m_thumbnailCacheDirectory);
    uint64_t previews = sizeOfDirectoryContentsAtPath(m_previewCacheDirectory);
    if (thumbnails > MaximumCacheSize) {
        core::performOnMainThread([self = sharedAs<VKThumbnailManager>()] {
            clearCacheDirectory(self->m_thumbnailCacheDirectory);
            self->forgetThumbnails();
        });
    }
    if (previews > MaximumCacheSize)
        core::performOnMainThread([directory = m_previewCacheDirectory] { clearCacheDirectory(directory); });
}
