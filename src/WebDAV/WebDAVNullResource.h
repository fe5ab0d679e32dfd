#pragma once

#include "WebDAV/WebDAVResource.h"

// A URI locked before anything existed behind it (a lock-null resource):
// empty live properties but its locks, no dead properties, nothing to change.
class WebDAVNullResource : public WebDAVResource {
public:
    // The URI standardised; nothing on disk is looked at.
    static std::shared_ptr<WebDAVNullResource> create(const core::URL& uri, const std::string& localPath);

    bool isCollection() const override { return false; }
    std::optional<WebDAVResourceList> subresourcesToDepth(std::string_view) const override { return std::nullopt; }
    WebDAVPropertyNameList propertyNames() const override;
    WebDAVPropertyTable propertiesForNames(const WebDAVPropertyNameList* names) const override;
    core::Value propertyForName(const WebDAVPropertyName& name) const override;
    std::optional<WebDAVPropertyNameList> deadPropertyNames() const override { return std::nullopt; }
    std::optional<WebDAVPropertyTable> deadProperties() const override { return std::nullopt; }
    bool canSetProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error = nullptr) const override;
    bool setProperty(const core::Value& value, const WebDAVPropertyName& name, core::Error* error = nullptr) override;
    bool canRemovePropertyWithName(const WebDAVPropertyName& name, core::Error* error = nullptr) const override;
    bool removePropertyWithName(const WebDAVPropertyName& name, core::Error* error = nullptr) override;

private:
    using WebDAVResource::WebDAVResource;
    core::Value lockDiscovery() const;
};
