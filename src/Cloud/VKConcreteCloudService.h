#pragma once

#include "Cloud/VKCloudService.h"
#include "Platform/Core/Error.h"

#include <optional>
#include <string>
#include <string_view>

// The base of every cloud service: it holds the local root (the servers
// folder joined with the service's key), converts between local and cloud
// paths, inserts and deletes mirror nodes, and posts the service
// notifications. Services add the transfers and the account.
class VKConcreteCloudService : public VKCloudService {
public:
    std::string localPath() const override { return m_serviceRootPath; }
    bool isCaseSensitive() const override { return true; }
    // The sizes of every item below the local root, links counted as links.
    int64_t localUsedBytes() const override;
    // The node in the calling thread's store; when there is none and the
    // service ignores case, a lookup that ignores case too.
    Resource resourceForCloudPath(const std::string& cloudPath) override;

    // "/" followed by the path below the local root ("/" for the root);
    // nothing for a path outside it.
    std::optional<std::string> cloudPathForLocalPath(std::string_view localPath) const;
    // The local root with the cloud path appended; nothing for a cloud path
    // that would lead elsewhere (a "." or ".." component, NUL).
    std::optional<std::string> localPathForCloudPath(std::string_view cloudPath) const;

    // A new node (unsaved) in the shared store for the local path, wrapped;
    // nothing (logged) when the store refuses it.
    Resource insertCloudFileResourceForPath(std::string_view localPath);
    Resource insertCloudDirectoryResourceForPath(std::string_view localPath);
    // Moves the item's local copy to the trash, then deletes its node from
    // the shared store; a copy that cannot be trashed keeps the node (NO).
    bool deleteCloudResource(const Resource& resource);

    // Posts `name` with the service as object; the news hold the cloud path
    // and its local path when a cloud path is given, and the error when one
    // is.
    void postNotificationName(core::NoticeName<VKCloudServiceNews> name,
        const std::optional<std::string>& cloudPath = std::nullopt, const std::optional<core::Error>& error = std::nullopt);
    // A notice that carries no news (unlinking).
    void postNotificationName(const char* name);

protected:
    explicit VKConcreteCloudService(std::string serviceRootPath) : m_serviceRootPath(std::move(serviceRootPath)) { }

private:
    Resource insertResourceForPath(std::string_view localPath, bool directory);

    std::string m_serviceRootPath;
};
