#include "Support/FileModel/RecordingServerLockHooks.h"

namespace test {

std::shared_ptr<RecordingServerLockHooks> RecordingServerLockHooks::install()
{
    auto hooks = std::make_shared<RecordingServerLockHooks>();
    VKServerLockHooks::setCurrent(hooks);
    return hooks;
}

void RecordingServerLockHooks::serve(const std::string& path, const std::string& uri)
{
    std::lock_guard lock(m_mutex);
    m_uris[path] = uri;
}

void RecordingServerLockHooks::lock(const std::string& uri)
{
    std::lock_guard lock(m_mutex);
    m_locks[uri] = std::make_shared<core::Object>();
}

void RecordingServerLockHooks::unlock(const std::string& uri)
{
    std::lock_guard lock(m_mutex);
    m_locks.erase(uri);
}

std::optional<std::string> RecordingServerLockHooks::URIForLocalPath(const std::string& path)
{
    record("URIForLocalPath " + path);
    std::lock_guard lock(m_mutex);
    auto found = m_uris.find(path);
    return found == m_uris.end() ? std::nullopt : std::optional(found->second);
}

std::vector<std::shared_ptr<core::Object>> RecordingServerLockHooks::locksForURI(const std::string& uri)
{
    record("locksForURI " + uri);
    std::lock_guard lock(m_mutex);
    auto found = m_locks.find(uri);
    if (found == m_locks.end())
        return {};
    return { found->second };
}

} // namespace test
