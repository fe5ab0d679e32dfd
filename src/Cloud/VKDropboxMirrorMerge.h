#pragma once

#include <memory>
#include <string>
#include <string_view>

class DBMetadata;
class VKCloudFileResource;
class VKCloudManagedObject;
class VKConcreteCloudService;

// Merges the service's records into the cloud mirror: a record into its
// resource's node (its date, size and revision; a file whose revision
// changed loses its local copy; a node of the wrong kind is replaced), a
// folder's listing into its children, recursively (children no longer
// listed go, new ones are inserted). Nodes being uploaded are left alone,
// locked ones are skipped, and records or entries whose paths could walk
// out of the mirror are refused. The service owns it; it inserts and
// deletes nodes through the service.
class VKDropboxMirrorMerge {
public:
    using Resource = std::shared_ptr<VKCloudFileResource>;

    explicit VKDropboxMirrorMerge(VKConcreteCloudService& service) : m_service(service) { }
    VKDropboxMirrorMerge(const VKDropboxMirrorMerge&) = delete;
    VKDropboxMirrorMerge& operator=(const VKDropboxMirrorMerge&) = delete;

    // Merges the record (and its listing) into the resource's node, then
    // saves the shared store; true when both succeeded.
    bool updateCloudResource(const Resource& resource, const std::shared_ptr<const DBMetadata>& metadata);

    // An absolute cloud path whose every component is one safe name (not
    // empty, ".", ".." or holding NUL).
    static bool isSafeCloudPath(std::string_view path);
    // The folder part of a cloud path, without a trailing separator ("/" for
    // the root), compared without case as the service names paths.
    static std::string folderKey(std::string_view path);

private:
    bool mergeNode(const std::shared_ptr<VKCloudManagedObject>& node, const DBMetadata& metadata,
        const std::string& cloudPath);
    bool mergeListing(const std::shared_ptr<VKCloudManagedObject>& node, const DBMetadata& metadata,
        const std::string& cloudPath);

    VKConcreteCloudService& m_service;
};
