#pragma once

#include "FileModel/VKFileResource.h"

#include <memory>
#include <optional>
#include <string>

class VKCloudManagedObject;

// The resource of an item under the servers folder: a light wrapper around
// its mirror node. Name, size, dates, folder flag and children come from the
// node; the path follows the node (and its folders) wherever it moves; the
// cached copy of a file lies at that path. Any number of resources may wrap
// one node, and they are equal. A resource is valid only on the thread whose
// store holds its node.
class VKCloudFileResource : public VKFileResource {
public:
    // The resource of the node at the path in the calling thread's store
    // (exact names); nothing when there is no such node.
    static std::shared_ptr<VKCloudFileResource> resourceWithPath(std::string_view path);
    // Nothing (logged) for no node.
    static std::shared_ptr<VKCloudFileResource> resourceWithManagedObject(std::shared_ptr<VKCloudManagedObject> node);

    const std::shared_ptr<VKCloudManagedObject>& managedObject() const { return m_managedObject; }

    // "" once the node has no place in the tree (deleted, or cut off).
    std::string path() const override;
    std::string cloudPath() const override;
    std::string name() const override;
    bool isDirectory() const override;
    uint64_t size() const override;
    // A folder's files at every depth, from the mirror.
    uint64_t contentSize() const override;
    std::optional<core::Date> modificationDate() const override;
    // The mirror keeps one date.
    std::optional<core::Date> creationDate() const override;
    std::string UUID() const override;
    std::string existingUUID() const override { return UUID(); }
    std::optional<std::string> cloudHash() const;
    int64_t cloudRevision() const;
    int32_t uploadState() const;
    float fetchProgress() const;
    float uploadProgress() const;
    bool isUpload() const override;
    bool isUploading() const;
    bool isCloudResource() const override { return true; }
    // The node is valid (not deleted).
    bool exists() const override;
    // Whether a copy lies at the path, and its size on disk.
    bool isStoredLocally() const;

    // Delete only for an upload; else delete, move, copy, rename, new folder
    // and download.
    int32_t supportedFileOperations() const override;
    std::optional<std::string> localizedDescriptionForUnsupportedFileOperation(int32_t operation) const override;

    // Clearing the mark also clears it on the cached copy.
    void setMarkedDeleted(bool marked) override;
    bool isMarkedDeleted() const override;

    // Nothing for a file; children in no set order.
    std::optional<std::vector<std::shared_ptr<VKFileResource>>> children(core::Error* error = nullptr) const override;
    std::optional<std::vector<std::string>> childNames(core::Error* error = nullptr) const override;
    // Subfolders, packages left out.
    std::optional<std::vector<std::shared_ptr<VKFileResource>>> childrenMatchingIsCollection() const override;
    // Children whose name contains the query, case, diacritics and width
    // ignored.
    std::vector<std::shared_ptr<VKFileResource>> childrenMatchingName(std::string_view query) const override;
    uint64_t sizeOfChildrenMatchingName(std::string_view query) const override;
    // The direct children's sizes.
    uint64_t sizeOfChildren() const override;
    // The folder's resource; for the root node (the servers folder) a plain
    // resource, as any local folder has.
    std::shared_ptr<VKFileResource> parent() const override;
    // The sibling "._<name>" (exact name); nothing for such a companion.
    std::shared_ptr<VKFileResource> associatedAppleDoubleResource() const override;

    // "name", "modificationDate", "isDirectory", "cloudHash", "cloudRevision",
    // "uploadState", "fetchProgress" and "uploadProgress" follow the node,
    // merges from other threads included.
    core::Observation observeValueForKey(std::string_view key, std::function<void()> handler) override;

    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;

    explicit VKCloudFileResource(std::shared_ptr<VKCloudManagedObject> node);

private:
    std::vector<std::shared_ptr<VKFileResource>> wrap(const std::vector<std::shared_ptr<VKCloudManagedObject>>& nodes) const;

    std::shared_ptr<VKCloudManagedObject> m_managedObject;
};
