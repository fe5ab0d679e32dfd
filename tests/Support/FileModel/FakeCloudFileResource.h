#pragma once

#include "FileModel/VKFileResource.h"

namespace test {

// A resource of the cloud mirror as the cloud layer would make it: a cloud
// path, and optionally a UUID of its own (the mirror's), empty for an item
// whose UUID cannot be read.
class FakeCloudFileResource : public VKFileResource {
public:
    static std::shared_ptr<FakeCloudFileResource> create(std::string path, std::string cloudPath);

    bool isCloudResource() const override { return true; }
    std::string cloudPath() const override { return m_cloudPath; }
    std::string UUID() const override;
    void setUUID(std::optional<std::string> uuid) { m_uuid = std::move(uuid); }

private:
    FakeCloudFileResource(std::string path, std::string cloudPath);

    std::string m_cloudPath;
    std::optional<std::string> m_uuid;
};

} // namespace test
