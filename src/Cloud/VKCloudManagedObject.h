#pragma once

#include "Platform/Store/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace store {
class Schema;
}

// One node of the cloud mirror: a cloud file or folder with what the service
// last reported of it (size, date, revision, a folder listing's hash) and the
// state of an upload of it. The root node ("/") stands for the servers
// folder; its children are the services' folders, named by service key.
//
// Nodes belong to the store (and so the thread) that fetched them; other
// threads look them up again by path in their own store.
class VKCloudManagedObject : public store::Object {
public:
    static constexpr const char* EntityName = "VKCloudManagedObject";
    // Attribute indexes of the entity, in column order; the last three are
    // kept in memory only.
    enum Attribute : size_t {
        NameAttribute,
        UUIDAttribute,
        SizeAttribute,
        IsDirectoryAttribute,
        ModificationDateAttribute,
        CloudRevisionAttribute,
        CloudHashAttribute,
        UploadStateAttribute,
        FetchProgressAttribute,
        UploadProgressAttribute,
        MarkedDeletedAttribute,
    };
    // The entity of the mirror store at its current version.
    static store::Schema schema();

    std::string name() const { return stringAt(NameAttribute); }
    void setName(std::string_view name);
    // Set once, when the node is inserted.
    std::string UUID() const { return stringAt(UUIDAttribute); }
    int64_t size() const { return integerAt(SizeAttribute); }
    void setSize(int64_t size);
    bool isDirectory() const { return boolAt(IsDirectoryAttribute); }
    void setIsDirectory(bool isDirectory);
    std::optional<core::Date> modificationDate() const { return dateAt(ModificationDateAttribute); }
    void setModificationDate(std::optional<core::Date> date);
    // 0 when the service never reported one.
    int64_t cloudRevision() const { return integerAt(CloudRevisionAttribute); }
    void setCloudRevision(int64_t revision);
    std::optional<std::string> cloudHash() const;
    void setCloudHash(std::optional<std::string> hash);
    // A VKNetworkState; 0 when no upload is under way.
    int32_t uploadState() const { return static_cast<int32_t>(integerAt(UploadStateAttribute)); }
    void setUploadState(int32_t state);
    float fetchProgress() const { return static_cast<float>(doubleAt(FetchProgressAttribute)); }
    void setFetchProgress(float progress);
    float uploadProgress() const { return static_cast<float>(doubleAt(UploadProgressAttribute)); }
    void setUploadProgress(float progress);
    bool isMarkedDeleted() const { return boolAt(MarkedDeletedAttribute); }
    void setMarkedDeleted(bool marked);

    // The node is (or waits to be) uploaded: any state but none and done.
    bool isUpload() const;
    // Waiting, connecting, uploading or finalizing.
    bool isUploading() const;

    std::shared_ptr<VKCloudManagedObject> parent() const;
    void setParent(const std::shared_ptr<VKCloudManagedObject>& parent) { store::Object::setParent(parent); }

    // The child of that name, when exactly one matches: by exact name, or
    // (not case-sensitive) by case-folded name, so that two children
    // differing only in case answer nothing. Names are never patterns.
    std::shared_ptr<VKCloudManagedObject> childWithName(std::string_view name, bool caseSensitive = true) const;

    std::string description() const override;

protected:
    void awakeFromInsert() override;
};
