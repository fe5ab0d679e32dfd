#pragma once

#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Notification.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Value.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class VKFileResource;
class VKThumbnailImageOperation;

namespace gfx {
class Image;
}

// The item a thumbnail or preview notice is about.
struct VKThumbnailNews {
    std::shared_ptr<VKFileResource> resource;
};

// Posted on the main thread, with the manager as sender. A thumbnail ends in
// did-generate or (not exported) "VKThumbnailManagerThumbnailGenerationFailedNotification";
// a preview in did-generate or preview-failed, the latter also when the
// image is small enough to need none.
inline constexpr core::NoticeName<VKThumbnailNews> VKThumbnailManagerDidGenerateThumbnailNotification { "VKThumbnailManagerDidGenerateThumbnailNotification" };
inline constexpr core::NoticeName<VKThumbnailNews> VKThumbnailManagerDidGeneratePreviewNotification { "VKThumbnailManagerDidGeneratePreviewNotification" };
inline constexpr core::NoticeName<VKThumbnailNews> VKThumbnailManagerPreviewGeneralFailedNotification { "VKThumbnailManagerPreviewGeneralFailedNotification" };

// Thumbnails for the folder list and screen-sized previews for the image
// viewer, made on the shared image queue and kept as image files named by
// the item's UUID in "ThumbnailCache" and "PreviewCache" of the metadata
// folder, so they follow the item through moves and renames. Cloud items
// without a local copy get their thumbnail from their service instead, at
// most once per five minutes. A cache is emptied when it outgrows 100 MiB or
// was made for another screen scale.
//
// Callers ask for a thumbnail; on nothing they start the work and wait for
// the notification. While an item's work is under way its old files are not
// handed out. Thumbnails are handed out decoded from memory, so a list never
// reads or decodes one on the main thread: a made one is kept as made, one
// found only as a file is read and decoded on the image queue when first
// asked for, and did-generate tells when it is there.
class VKThumbnailManager : public core::Object, public VKCloudThumbnailCallback {
public:
    // Contents above this many bytes are cleared; exactly this much is kept.
    static constexpr uint64_t MaximumCacheSize = 0x6400000;
    // Decoded thumbnails kept, the least recently asked for dropped first.
    static constexpr size_t MaximumThumbnailsInMemory = 256;
    // Seconds before a cloud item's thumbnail is asked for again.
    static constexpr double CloudRequestInterval = 300;
    // The screen scale the caches were made for (a float).
    static constexpr const char* ScreenScaleKey = "VKThumbnailManagerScreenScale";

    // Made on first use; then both caches are emptied when they were made
    // for another screen scale.
    static std::shared_ptr<VKThumbnailManager> sharedManager();
    // Replaces the shared manager (tests); null makes a new one on next use.
    static void setSharedManagerForTesting(std::shared_ptr<VKThumbnailManager> manager);

    // 128 on a high-density screen, else 64.
    static float deviceThumbnailSize();
    // Moves the folder to the trash and makes it again, empty.
    static void clearCacheDirectory(const std::string& directory);

    const std::string& thumbnailCacheDirectory() const { return m_thumbnailCacheDirectory; }
    const std::string& previewCacheDirectory() const { return m_previewCacheDirectory; }

    // Starts work for an image item unless some is under way: a fetch from
    // its service for a cloud item without a local copy, else generation on
    // the shared image queue.
    void generateThumbnailAndScreenPreviewForResource(const std::shared_ptr<VKFileResource>& resource);
    // Nothing for other than image items, while the item's work is under way,
    // and when there is no cache file. A thumbnail not yet in memory is
    // nothing too: its file is then read and decoded on the image queue
    // (the item counts as under way meanwhile), and did-generate-thumbnail
    // is posted once it is kept.
    std::shared_ptr<gfx::Image> thumbnailForResource(const VKFileResource& resource) const;
    std::shared_ptr<gfx::Image> previewForResource(const VKFileResource& resource) const;

    // Whether the image has more than twice the screen's pixels.
    bool resourceRequiresPreview(const VKFileResource& resource) const;
    static bool imageRequiresPreview(const gfx::Image* image);

    // <directory>/<UUID>; nothing (logged) for an item without a UUID.
    std::optional<std::string> thumbnailCachePathForResource(const VKFileResource& resource) const;
    std::optional<std::string> previewCachePathForResource(const VKFileResource& resource) const;
    static std::optional<std::string> cachePathForResource(const VKFileResource& resource, const std::string& root);

    // Drops an item that goes: its UUID leaves the work set and both cache
    // files are deleted. From any thread.
    void removeCacheForResource(const VKFileResource& resource);
    static void removeCacheAtPath(const std::string& path, const std::string& directory);

    void resetCaches();
    // Has the shared image queue measure both caches; one that is too large
    // is cleared on the main thread.
    void pruneCaches();
    void pruneCachesOperation();

    // The work set: UUIDs of the items whose generation or fetch is under
    // way. Empty UUIDs are ignored. From any thread.
    bool isUUIDQueued(const std::string& uuid) const;
    void addUUIDToQueue(const std::string& uuid);
    void removeUUIDFromQueue(const std::string& uuid);

    // JPEG at 0.7 for "image/jpeg", else PNG; written atomically.
    static bool writeImage(const gfx::Image& image, const std::string& mimeType, const std::string& path);

    // The work on the image queue: the preview (when the image needs one and
    // a "previewCachePath" is given), then the thumbnail from the preview or
    // the image (when a "thumbnailCachePath" is given); the main thread hears
    // which were made.
    void generatePreviewsForPath(const std::string& path, const core::Value& cachePaths);
    // On the image queue: the thumbnail's file read and decoded into memory;
    // an unreadable one is deleted, to be made again when next asked for.
    void loadThumbnailForPath(const std::string& path, const std::string& thumbnailCachePath);
    // On the main thread: did-generate-thumbnail for the item, if it is still
    // there.
    void didLoadThumbnailForPath(const std::string& path, const std::string& thumbnailCachePath);
    // The screen-sized preview of an image that needs one, scaled from a
    // reduced decode (a JPEG's decoder scales by 1/2, 1/4 or 1/8 on the
    // way); nothing for an image that needs none or cannot be decoded. Any
    // thread.
    static std::shared_ptr<gfx::Image> makePreview(const std::shared_ptr<gfx::Image>& image);
    // The writing half of the work, for a caller that already holds the
    // picture and its preview (the image viewer, which shows the preview
    // before its files are written): the preview's file when both are
    // given, the thumbnail's from the preview or else the image, then the
    // main thread hears which were made. On the image queue.
    void storePreviewsForPath(const std::string& path, std::shared_ptr<gfx::Image> image,
        std::shared_ptr<gfx::Image> preview, const std::optional<std::string>& thumbnailPath,
        const std::optional<std::string>& previewPath);
    // On the main thread: files of an item that went meanwhile are deleted,
    // else the notifications go out, thumbnail first.
    void didGeneratePreviewsForPath(const std::string& path, const std::optional<std::string>& thumbnailCachePath,
        const std::optional<std::string>& previewCachePath);

    void thumbnailFetchCompleted(const std::string& service, const std::string& cloudPath,
        const std::string& destination) override;
    void thumbnailFetchFailed(const std::string& service, const std::string& cloudPath) override;

private:
    friend class VKThumbnailImageOperation;

    VKThumbnailManager(std::string thumbnailCacheDirectory, std::string previewCacheDirectory);
    // Clears both caches when they were made for another scale.
    void checkScreenScale();
    void post(core::NoticeName<VKThumbnailNews> name, const std::shared_ptr<VKFileResource>& resource);

    // The decoded thumbnails by cache path; any thread.
    std::shared_ptr<gfx::Image> rememberedThumbnail(const std::string& path) const;
    void rememberThumbnail(const std::string& path, std::shared_ptr<gfx::Image> thumbnail);
    void forgetThumbnail(const std::string& path);
    void forgetThumbnails();
    // Has the image queue read the item's thumbnail file into memory.
    void loadThumbnailForResource(const VKFileResource& resource, const std::string& thumbnailCachePath) const;

    // An operation takes its UUID over when made, and frees it when it goes
    // only while it still holds it: one that an equal request replaced
    // leaves the UUID to its successor.
    void claimUUID(const std::string& uuid, const void* operation);
    void releaseUUID(const std::string& uuid, const void* operation);

    const std::string m_thumbnailCacheDirectory;
    const std::string m_previewCacheDirectory;
    mutable std::mutex m_queueMutex;
    // UUID → the operation working for it (null for a cloud fetch or a
    // plain add).
    std::map<std::string, const void*, std::less<>> m_thumbnailQueue;
    // Main thread only.
    std::map<std::string, core::Date> m_cloudRequestTimeouts;
    struct Remembered {
        std::shared_ptr<gfx::Image> thumbnail;
        uint64_t lastUse = 0;
    };
    mutable std::mutex m_memoryMutex;
    mutable std::map<std::string, Remembered, std::less<>> m_memory;
    mutable uint64_t m_memoryClock = 0;
    // Cache path → the item whose thumbnail file is being read, to be told
    // (a cloud item has no local file to be found by).
    mutable std::map<std::string, std::shared_ptr<VKFileResource>, std::less<>> m_loading;
};
