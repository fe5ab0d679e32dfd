#include "WebDAV/WebDAVServerLockHooks.h"

#include "Platform/Core/URL.h"
#include "WebDAV/WebDAVLockManager.h"

std::optional<std::string> WebDAVServerLockHooks::URIForLocalPath(const std::string& path)
{
    return m_mapping ? m_mapping(path) : std::nullopt;
}

std::vector<std::shared_ptr<core::Object>> WebDAVServerLockHooks::locksForURI(const std::string& uri)
{
    auto url = core::URL::parse(uri);
    if (!url)
        return {};
    std::vector<std::shared_ptr<core::Object>> locks;
    for (auto& lock : WebDAVLockManager::sharedManager()->locksForURI(*url))
        locks.push_back(std::const_pointer_cast<WebDAVLock>(lock));
    return locks;
}
