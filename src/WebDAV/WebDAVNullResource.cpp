#include "WebDAV/WebDAVNullResource.h"

#include "Kit/URLAdditions.h"
#include "WebDAV/WebDAVLockManager.h"

#include <algorithm>

std::shared_ptr<WebDAVNullResource> WebDAVNullResource::create(const core::URL& uri, const std::string& localPath)
{
    return std::shared_ptr<WebDAVNullResource>(new WebDAVNullResource(URLWithPath(standardizedPath(uri)), localPath));
}

core::Value WebDAVNullResource::lockDiscovery() const
{
    core::Value::Array locks;
    for (auto& lock : WebDAVLockManager::sharedManager()->locksForURI(URI()))
        locks.push_back(std::const_pointer_cast<WebDAVLock>(lock));
    return core::Value(std::move(locks));
}

WebDAVPropertyNameList WebDAVNullResource::propertyNames() const
{
    WebDAVPropertyNameList names;
    for (const auto& name : fileLivePropertyNames())
        names.push_back(WebDAVPropertyName::propertyNameWithName(name));
    return names;
}

WebDAVPropertyTable WebDAVNullResource::propertiesForNames(const WebDAVPropertyNameList* names) const
{
    WebDAVPropertyTable table;
    for (const auto& name : fileLivePropertyNames()) {
        if (names && std::none_of(names->begin(), names->end(), [&](const auto& n) { return *n == name; }))
            continue;
        auto propertyName = WebDAVPropertyName::propertyNameWithName(name);
        table.push_back({ propertyName, propertyForName(*propertyName) });
    }
    return table;
}

core::Value WebDAVNullResource::propertyForName(const WebDAVPropertyName& name) const
{
    if (name == "supportedlock")
        return core::Value("exclusive,shared");
    if (name == "lockdiscovery")
        return lockDiscovery();
    if (!name.isDead() && isLivePropertyName(name.name()))
        return core::Value("");
    return {};
}

bool WebDAVNullResource::canSetProperty(const core::Value&, const WebDAVPropertyName&, core::Error* error) const
{
    core::setError(error, errorWithStatus(403, "Forbidden"));
    return false;
}

bool WebDAVNullResource::setProperty(const core::Value&, const WebDAVPropertyName&, core::Error* error)
{
    core::setError(error, errorWithStatus(403, "Forbidden"));
    return false;
}

bool WebDAVNullResource::canRemovePropertyWithName(const WebDAVPropertyName&, core::Error* error) const
{
    core::setError(error, errorWithStatus(403, "Forbidden"));
    return false;
}

bool WebDAVNullResource::removePropertyWithName(const WebDAVPropertyName&, core::Error* error)
{
    core::setError(error, errorWithStatus(403, "Forbidden"));
    return false;
}
