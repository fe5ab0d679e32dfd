#pragma once

#include "FileModel/VKServerLockHooks.h"

#include <functional>

// The lock table as the file model asks it: the server maps a local path to
// its URI, the lock manager answers the locks on that URI.
class WebDAVServerLockHooks : public VKServerLockHooks {
public:
    using URIMapping = std::function<std::optional<std::string>(const std::string& path)>;

    explicit WebDAVServerLockHooks(URIMapping mapping) : m_mapping(std::move(mapping)) { }

    std::optional<std::string> URIForLocalPath(const std::string& path) override;
    std::vector<std::shared_ptr<core::Object>> locksForURI(const std::string& uri) override;

private:
    URIMapping m_mapping;
};
