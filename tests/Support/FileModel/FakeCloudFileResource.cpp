#include "Support/FileModel/FakeCloudFileResource.h"

namespace test {

std::shared_ptr<FakeCloudFileResource> FakeCloudFileResource::create(std::string path, std::string cloudPath)
{
    return std::shared_ptr<FakeCloudFileResource>(new FakeCloudFileResource(std::move(path), std::move(cloudPath)));
}

FakeCloudFileResource::FakeCloudFileResource(std::string path, std::string cloudPath)
    : VKFileResource(std::move(path))
    , m_cloudPath(std::move(cloudPath))
{
}

std::string FakeCloudFileResource::UUID() const
{
    return m_uuid ? *m_uuid : VKFileResource::UUID();
}

} // namespace test
