#pragma once

#include "WebDAV/WebDAVLock.h"
#include "WebDAV/WebDAVResource.h"

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/URL.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HTTPMessageRequest;
class WebDAVNullResource;

// The process-wide table of WebDAV write locks (class 2), in memory only:
// URI path (no trailing "/" but for the root) → the locks on exactly that
// URI, in the order granted. It grants exclusive and shared locks of depth 0
// or infinity, remembers lock-null URIs and decides whether a request may
// touch a URI given the locks on it, its ancestors and its members.
//
// The COPY worker thread shares the table with the main thread: every access
// holds the table's lock and readers get copies.
class WebDAVLockManager : public core::Object {
public:
    static constexpr const char* ErrorDomain = "WebDAVLockErrorDomain";
    static constexpr const char* StatusKey = "WebDAVStatus";
    static constexpr const char* ErrorURIKey = "WebDAVLockErrorURI";
    static constexpr const char* LocalPathKey = "WebDAVLocalPath";

    static std::shared_ptr<WebDAVLockManager> sharedManager();

    void removeAllLocks();

    // The new lock, or nothing with every conflict as a lock error in
    // `errors`. The time-out is accepted and not kept: locks last until
    // removed.
    WebDAVLockRef acquireWriteLockForURI(const core::URL& uri, const std::string& localPath, std::string_view scope,
        std::string_view owner, std::string_view depth, std::string_view timeout,
        std::vector<core::Error>* errors = nullptr);
    // The token with or without "opaquelocktoken:"; only locks on exactly the
    // URI are searched.
    bool removeWriteLockForURI(const core::URL& uri, std::string_view token);
    // Drops the locks on the URI and everything below it.
    void removeSucessfullyDeletedLocksForURI(const core::URL& uri);

    // The URI's own locks, then the depth-infinity locks of each ancestor,
    // nearest first; empty when none.
    std::vector<WebDAVLockRef> locksForURI(const core::URL& uri) const;
    std::vector<WebDAVLockRef> locksForURIPath(std::string_view path) const;

    std::shared_ptr<WebDAVNullResource> nullResourceForURI(const core::URL& uri) const;
    // Lock-null members below the URI whose item still does not exist.
    std::optional<WebDAVResourceList> nullChildResourcesForURI(const core::URL& uri, bool recurse) const;

    // Whether the request's If header lets it act on the URI; otherwise the
    // If parser's error (400, 412 or 423).
    bool isURIAuthorised(const core::URL& uri, const HTTPMessageRequest& request, bool isMutation,
        core::Error* error = nullptr) const;

    // 0 when a lock of the scope may join the existing locks, else 412 or 423.
    static int canAcquireLockForExistingLocks(const std::vector<WebDAVLockRef>& locks, std::string_view owner,
        bool isScopeExclusive);
    // The key of a URI in the table.
    static std::string lockPathForURI(const core::URL& uri);
    static std::string lockPathForPath(std::string_view path);

    std::string description() const override;

private:
    using Table = std::map<std::string, std::vector<WebDAVLockRef>, std::less<>>;

    std::vector<WebDAVLockRef> locksIgnoringParentForURI(std::string_view path) const;
    // Nothing when the URI holds no locks at all.
    std::optional<std::vector<WebDAVLockRef>> locksIgnoringParentForURI(std::string_view path, std::string_view depth) const;
    std::vector<std::string> childLockKeysForURI(std::string_view path, bool recurse) const;
    static std::vector<std::string> ancestorsOfPath(std::string_view path);
    static core::Error lockError(int code, std::string status, const std::string& uri, const std::string& localPath);

    mutable std::recursive_mutex m_threadLock;
    Table m_lockInfo;
};
