#include "WebDAV/WebDAVLockManager.h"

#include "HTTP/HTTPMessageRequest.h"
#include "Kit/StringAdditions.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "WebDAV/WebDAVIfParser.h"
#include "WebDAV/WebDAVNullResource.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

constexpr std::string_view TokenScheme = "opaquelocktoken:";

} // namespace

std::shared_ptr<WebDAVLockManager> WebDAVLockManager::sharedManager()
{
    static const auto manager = std::make_shared<WebDAVLockManager>();
    return manager;
}

std::string WebDAVLockManager::lockPathForPath(std::string_view path)
{
    std::string key(path);
    if (!key.starts_with('/'))
        key.insert(key.begin(), '/');
    while (key.size() > 1 && key.ends_with('/'))
        key.pop_back();
    return key;
}

std::string WebDAVLockManager::lockPathForURI(const core::URL& uri)
{
    return lockPathForPath(uri.standardized().path());
}

std::vector<std::string> WebDAVLockManager::ancestorsOfPath(std::string_view path)
{
    std::vector<std::string> ancestors;
    std::string current(path);
    while (current.size() > 1) {
        size_t slash = current.rfind('/');
        current = slash == 0 || slash == std::string::npos ? std::string("/") : current.substr(0, slash);
        ancestors.push_back(current);
    }
    return ancestors;
}

core::Error WebDAVLockManager::lockError(int code, std::string status, const std::string& uri, const std::string& localPath)
{
    return core::Error(ErrorDomain, code,
        core::Value::Dictionary { { StatusKey, status }, { core::Error::LocalizedDescriptionKey, status },
            { ErrorURIKey, uri }, { LocalPathKey, localPath } });
}

void WebDAVLockManager::removeAllLocks()
{
    std::lock_guard lock(m_threadLock);
    m_lockInfo.clear();
}

int WebDAVLockManager::canAcquireLockForExistingLocks(const std::vector<WebDAVLockRef>& locks, std::string_view owner,
    bool isScopeExclusive)
{
    if (isScopeExclusive && !locks.empty())
        return 423;
    if (locks.size() == 1 && locks.front()->isExclusive())
        return 423;
    if (isScopeExclusive)
        return 0;
    // Locks taken without an owner name nobody, so they are never the same.
    bool sameOwner = !owner.empty()
        && std::any_of(locks.begin(), locks.end(), [&](const auto& lock) { return lock->lockOwner() == owner; });
    return sameOwner ? 412 : 0;
}

WebDAVLockRef WebDAVLockManager::acquireWriteLockForURI(const core::URL& uri, const std::string& localPath,
    std::string_view scope, std::string_view owner, std::string_view depth, std::string_view, std::vector<core::Error>* errors)
{
    std::string path = lockPathForURI(uri);
    std::vector<core::Error> conflicts;
    auto fail = [&](core::Error error) -> WebDAVLockRef {
        conflicts.push_back(std::move(error));
        if (errors)
            *errors = std::move(conflicts);
        return nullptr;
    };
    if (!core::fs::isDirectory(core::path::deletingLastPathComponent(localPath)))
        return fail(lockError(412, "Precondition Failed - invalid parent URI", path, localPath));
    bool exclusive = scope == "exclusive";

    // Checking and granting under one hold of the table, so that no other
    // thread can slip a lock in between.
    std::lock_guard lock(m_threadLock);
    if (int code = canAcquireLockForExistingLocks(locksForURIPath(path), owner, exclusive))
        return fail(lockError(code, "Locked", path, localPath));
    if (depth == "infinity" && core::fs::isDirectory(localPath)) {
        for (const auto& child : childLockKeysForURI(path, true)) {
            auto locks = locksIgnoringParentForURI(child);
            if (int code = canAcquireLockForExistingLocks(locks, owner, exclusive))
                conflicts.push_back(lockError(code, "Locked", child, locks.front()->lockLocalPath()));
        }
        if (!conflicts.empty()) {
            if (errors)
                *errors = std::move(conflicts);
            return nullptr;
        }
    }
    auto record = WebDAVLock::create(core::Value::Dictionary {
        { WebDAVLock::ScopeKey, std::string(scope) },
        { WebDAVLock::TypeKey, "write" },
        { WebDAVLock::OwnerKey, std::string(owner) },
        { WebDAVLock::DepthKey, std::string(depth) },
        { WebDAVLock::TimeoutKey, "Infinite" },
        { WebDAVLock::TokenKey, vkGenerateUUID() },
        { WebDAVLock::URIKey, path },
        { WebDAVLock::LocalPathKey, localPath },
        { WebDAVLock::IsNullKey, !core::fs::exists(localPath) },
    });
    m_lockInfo[path].push_back(record);
    return record;
}

bool WebDAVLockManager::removeWriteLockForURI(const core::URL& uri, std::string_view token)
{
    if (token.starts_with(TokenScheme))
        token.remove_prefix(TokenScheme.size());
    if (token.empty()) {
        core::log("Warning, Nil lock token");
        return false;
    }
    std::lock_guard lock(m_threadLock);
    auto entry = m_lockInfo.find(lockPathForURI(uri));
    if (entry == m_lockInfo.end())
        return false;
    auto& locks = entry->second;
    auto found = std::find_if(locks.begin(), locks.end(), [&](const auto& l) { return l->lockToken() == token; });
    if (found == locks.end())
        return false;
    locks.erase(found);
    if (locks.empty())
        m_lockInfo.erase(entry);
    return true;
}

void WebDAVLockManager::removeSucessfullyDeletedLocksForURI(const core::URL& uri)
{
    std::string raw = uri.standardized().path();
    if (raw.empty()) {
        core::log("Warning, removeSucessfullyDeletedLocksForURI called with nil path");
        return;
    }
    std::string path = lockPathForPath(raw);
    std::lock_guard lock(m_threadLock);
    for (const auto& child : childLockKeysForURI(path, true))
        m_lockInfo.erase(child);
    m_lockInfo.erase(path);
}

std::vector<WebDAVLockRef> WebDAVLockManager::locksIgnoringParentForURI(std::string_view path) const
{
    std::lock_guard lock(m_threadLock);
    auto entry = m_lockInfo.find(path);
    return entry == m_lockInfo.end() ? std::vector<WebDAVLockRef>() : entry->second;
}

std::optional<std::vector<WebDAVLockRef>> WebDAVLockManager::locksIgnoringParentForURI(std::string_view path,
    std::string_view depth) const
{
    std::lock_guard lock(m_threadLock);
    auto entry = m_lockInfo.find(path);
    if (entry == m_lockInfo.end())
        return std::nullopt;
    std::vector<WebDAVLockRef> matching;
    std::copy_if(entry->second.begin(), entry->second.end(), std::back_inserter(matching),
        [&](const auto& l) { return l->lockDepth() == depth; });
    return matching;
}

std::vector<WebDAVLockRef> WebDAVLockManager::locksForURI(const core::URL& uri) const
{
    // A listing asks for every member: with no lock held anywhere, the
    // answer needs no path worked out.
    {
        std::lock_guard lock(m_threadLock);
        if (m_lockInfo.empty())
            return {};
    }
    return locksForURIPath(lockPathForURI(uri));
}

std::vector<WebDAVLockRef> WebDAVLockManager::locksForURIPath(std::string_view uriPath) const
{
    std::string path = lockPathForPath(uriPath);
    std::lock_guard lock(m_threadLock);
    auto locks = locksIgnoringParentForURI(path);
    for (const auto& ancestor : ancestorsOfPath(path)) {
        auto entry = m_lockInfo.find(ancestor);
        if (entry == m_lockInfo.end())
            continue;
        std::copy_if(entry->second.begin(), entry->second.end(), std::back_inserter(locks),
            [](const auto& l) { return l->lockDepth() == "infinity"; });
    }
    return locks;
}

std::vector<std::string> WebDAVLockManager::childLockKeysForURI(std::string_view path, bool recurse) const
{
    std::string prefix(path);
    if (!prefix.ends_with('/'))
        prefix += '/';
    std::lock_guard lock(m_threadLock);
    std::vector<std::string> keys;
    for (auto it = m_lockInfo.lower_bound(prefix); it != m_lockInfo.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.size() == prefix.size())
            continue;
        if (!recurse && it->first.find('/', prefix.size()) != std::string::npos)
            continue;
        keys.push_back(it->first);
    }
    return keys;
}

std::shared_ptr<WebDAVNullResource> WebDAVLockManager::nullResourceForURI(const core::URL& uri) const
{
    std::string path = lockPathForURI(uri);
    for (const auto& lock : locksIgnoringParentForURI(path)) {
        if (lock->lockIsNull())
            return WebDAVNullResource::create(URLWithPath(path), lock->lockLocalPath());
    }
    return nullptr;
}

std::optional<WebDAVResourceList> WebDAVLockManager::nullChildResourcesForURI(const core::URL& uri, bool recurse) const
{
    std::string path = lockPathForURI(uri);
    WebDAVResourceList resources;
    std::lock_guard lock(m_threadLock);
    for (const auto& child : childLockKeysForURI(path, recurse)) {
        const auto& first = m_lockInfo.find(child)->second.front();
        // An item made since under its lock is listed as itself.
        if (first->lockIsNull() && !core::fs::exists(first->lockLocalPath()))
            resources.push_back(WebDAVNullResource::create(URLWithPath(child), first->lockLocalPath()));
    }
    if (resources.empty())
        return std::nullopt;
    return resources;
}

bool WebDAVLockManager::isURIAuthorised(const core::URL& uri, const HTTPMessageRequest& request, bool isMutation,
    core::Error* error) const
{
    core::setError(error, core::Error());
    core::Error parseError;
    auto parser = WebDAVIfParser::parserWithIfHeader(request.headerForKey("If").value_or(""), &parseError);
    if (parseError) {
        core::setError(error, parseError);
        return false;
    }
    std::string path = lockPathForURI(uri);
    auto locks = locksForURIPath(path);
    if (!locks.empty() && !parser->validateLocks(locks, error))
        return false;
    if (!isMutation)
        return true;
    for (const auto& ancestor : ancestorsOfPath(path)) {
        auto shallow = locksIgnoringParentForURI(ancestor, "0");
        if (shallow && !shallow->empty() && !parser->validateLocks(*shallow, error))
            return false;
    }
    if (!uri.hasDirectoryPath())
        return true;
    auto own = locksIgnoringParentForURI(path);
    if (!locks.empty() && std::any_of(own.begin(), own.end(), [](const auto& l) { return l->lockDepth() != "0"; }))
        return true;
    for (const auto& child : childLockKeysForURI(path, true)) {
        if (!parser->validateLocks(locksIgnoringParentForURI(child), error))
            return false;
    }
    return true;
}

std::string WebDAVLockManager::description() const
{
    std::lock_guard lock(m_threadLock);
    return fmt::format("<WebDAVLockManager: {} locked URIs>", m_lockInfo.size());
}
