#pragma once

#include "Kit/VKLock.h"
#include "Platform/Core/Date.h"
#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Observation.h"
#include "Platform/Core/URL.h"

#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file operations a resource supports, as a bit set.
enum VKFileResourceOperation : int32_t {
    VKFileResourceOperationDelete = 0x1,
    VKFileResourceOperationMove = 0x2,
    // Also saving images and movies to the photo album.
    VKFileResourceOperationCopy = 0x4,
    VKFileResourceOperationRename = 0x8,
    VKFileResourceOperationCreateFolder = 0x10,
    VKFileResourceOperationCompress = 0x20,
    VKFileResourceOperationUncompress = 0x40,
    VKFileResourceOperationEmail = 0x80,
    // The operation a download passes to the folder browser's collision check.
    VKFileResourceOperationDownload = 0x100,
    // Every bit but the sign bit.
    VKFileResourceOperationAll = 0x7fffffff,
};

// Extended attributes kept on stored items (the file manager adds "user.").
inline constexpr const char* VKFileResourceUUIDAttribute = "com.kestrova.tandry.UUID";
inline constexpr const char* VKFileResourceMarkedDeletedAttribute = "com.kestrova.markdeleted";

// The object through which every part of the system names a stored file or
// folder: a small value wrapping one absolute path, made on demand, equal to
// any other resource of the same path. It answers names, places, sizes,
// kinds, a persistent UUID kept in an extended attribute, and whether a
// WebDAV client holds a lock on the item.
//
// Resources under the servers folder come from the cloud hooks when they are
// wired (cloud resources override most of what follows); download items are
// made by the download manager. The directory test and the UUID are filled on
// first use and kept, so callers make fresh resources after changing an item.
class VKFileResource : public core::Object {
public:
    // The resource of an existing item; null when nothing is there, and for
    // empty or relative paths. With case-insensitive matching each missing
    // component is looked for in its folder, the first entry in listing order
    // whose name differs only in case standing in, so that `path()` then has
    // the stored spelling.
    static std::shared_ptr<VKFileResource> resourceWithPath(std::string_view path);
    static std::shared_ptr<VKFileResource> resourceWithPath(std::string_view path, bool caseInsenstiveMatch);

    ~VKFileResource() override;

    virtual std::string path() const;
    // "<VKFileResource 0x…> ~/Documents/a.txt", the home as "~".
    std::string description() const override;

    virtual void setMarkedDeleted(bool marked);
    virtual bool isMarkedDeleted() const;
    virtual bool isCloudResource() const { return false; }
    virtual bool isDownloadResource() const { return false; }
    // A cloud item that exists only as a queued or running upload.
    virtual bool isUpload() const { return false; }
    // The item's path in its cloud service; "" for a local item.
    virtual std::string cloudPath() const { return {}; }
    // Why an operation is not offered; nothing for a local item.
    virtual std::optional<std::string> localizedDescriptionForUnsupportedFileOperation(int32_t operation) const;
    virtual int32_t supportedFileOperations() const { return VKFileResourceOperationAll; }
    // The "._" companion that desktop clients write beside a file; null for
    // such a companion itself and when there is none.
    virtual std::shared_ptr<VKFileResource> associatedAppleDoubleResource() const;

    virtual bool exists() const;
    // Whether the item, its links followed, lies outside the home: a link
    // out of the home is listed, renamed and deleted as itself, but never
    // followed to show or read what it leads to. False when it leads
    // nowhere.
    bool leadsOutOfHome() const;
    bool isCollection() const;
    // A folder the browser treats as one document ("Essay.pages").
    bool isPackage() const;
    virtual bool isDirectory() const;
    // A package's size from the quota tree; otherwise the item's own size
    // (for a folder its entry, not its contents).
    virtual uint64_t size() const;
    // The size of what is on disk here now; 0 when nothing is.
    virtual uint64_t localSize() const;
    // What the item holds, the size a person sorts and adds up by: a file's
    // size, the files at every depth of a folder or package (from the quota
    // tree; folders' own entries count nothing).
    virtual uint64_t contentSize() const;
    virtual std::optional<core::Date> modificationDate() const;
    virtual std::optional<core::Date> creationDate() const;

    // Children from the quota tree: subfolders (packages left out), names
    // containing a query, and their sizes.
    virtual std::optional<std::vector<std::shared_ptr<VKFileResource>>> childrenMatchingIsCollection() const;
    virtual uint64_t sizeOfChildrenMatchingName(std::string_view query) const;
    virtual std::vector<std::shared_ptr<VKFileResource>> childrenMatchingName(std::string_view query) const;
    virtual uint64_t sizeOfChildren() const;
    // Plain resources for the folder's entries in listing order; nothing for
    // a non-folder or a folder that cannot be read, with the reason in
    // `error` (a failed read is never an empty folder).
    virtual std::optional<std::vector<std::shared_ptr<VKFileResource>>> children(core::Error* error = nullptr) const;
    virtual std::shared_ptr<VKFileResource> parent() const;
    virtual std::optional<std::vector<std::string>> childNames(core::Error* error = nullptr) const;
    // What a folder list sorts by, for many items at once: each item's
    // contentSize() (with `sizes`) and modificationDate() (with `dates`), as
    // the item itself answers them. Plain items of one folder are read
    // through that folder opened once, not by a path lookup each.
    struct ListingAttributes {
        uint64_t contentSize = 0;
        std::optional<core::Date> modificationDate;
    };
    static std::vector<ListingAttributes> listingAttributes(const std::vector<const VKFileResource*>& items, bool sizes,
        bool dates);

    bool conformsToUTIdentifier(std::string_view identifier) const;
    std::string mimeType() const;
    // The three roots answer "Documents", "Public" and "Servers", translated.
    std::string localizedName() const;
    std::string pathExtension() const;
    std::string baseName() const;
    virtual std::string name() const;
    core::URL fileURL() const;
    // The persistent identity that names the item's cache files: read from
    // its extended attribute, or made and stored there on first use.
    virtual std::string UUID() const;
    // The UUID when the item has one, empty otherwise; never makes one. An
    // item without a UUID has no cache files to forget.
    virtual std::string existingUUID() const;
    // Whether the UUID outlives this object: false when it could not be
    // stored on the item and lives only in memory, so that caches named by
    // it would be orphaned once the resource goes.
    bool isUUIDStored() const;

    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;

    bool isImageType() const;
    bool isMovieType() const;
    bool isAudioType() const;
    bool isTextType() const;
    bool isPDFType() const;

    // Whether a WebDAV client holds a lock on the item (the server lock hooks).
    bool isLocked() const;

    // Calls `handler` after each change of the key's value, for as long as
    // the observation lives. Items on disk are not watched: a plain
    // resource never calls it; cloud items and downloads tell their changes.
    virtual core::Observation observeValueForKey(std::string_view key, std::function<void()> handler);

protected:
    // The path is taken as it stands (absolute, existing or not).
    explicit VKFileResource(std::string path);
    // A download item moving with its download: the cached directory test
    // and UUID belong to the old place and are dropped. An empty path reads
    // as a missing item.
    void updatePath(std::string path);

private:
    static std::shared_ptr<VKFileResource> makeWithPathNoChecks(std::string path);
    static std::optional<std::string> matchingPath(std::string_view path, bool caseInsensitiveMatch);

    mutable VKRecursiveLock m_propertyLock;
    std::string m_path;
    mutable std::string m_UUID;
    mutable bool m_UUIDInMemoryOnly = false;
    mutable std::optional<bool> m_isDirectoryCache;
};

bool operator==(const VKFileResource& a, const VKFileResource& b);

template<> struct std::hash<VKFileResource> {
    size_t operator()(const VKFileResource& resource) const { return resource.hash(); }
};
