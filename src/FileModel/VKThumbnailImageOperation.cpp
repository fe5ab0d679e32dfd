#include "FileModel/VKThumbnailImageOperation.h"

#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKConcreteString.h"
#include "Kit/VKTuple.h"

namespace {

constexpr const char* Selector = "generatePreviewsForPath:cachePaths:";

} // namespace

std::shared_ptr<VKThumbnailImageOperation> VKThumbnailImageOperation::create(const VKFileResource& resource,
    const std::shared_ptr<VKThumbnailManager>& target)
{
    core::Value::Dictionary cachePaths;
    if (auto path = target->thumbnailCachePathForResource(resource))
        cachePaths["thumbnailCachePath"] = *path;
    if (auto path = target->previewCachePathForResource(resource))
        cachePaths["previewCachePath"] = *path;
    return std::shared_ptr<VKThumbnailImageOperation>(
        new VKThumbnailImageOperation(target, resource.path(), core::Value(std::move(cachePaths)), resource.UUID()));
}

std::shared_ptr<VKThumbnailImageOperation> VKThumbnailImageOperation::createLoad(const VKFileResource& resource,
    const std::shared_ptr<VKThumbnailManager>& target)
{
    core::Value::Dictionary cachePaths;
    if (auto path = target->thumbnailCachePathForResource(resource))
        cachePaths["thumbnailCachePath"] = *path;
    cachePaths["loadOnly"] = true;
    return std::shared_ptr<VKThumbnailImageOperation>(
        new VKThumbnailImageOperation(target, resource.path(), core::Value(std::move(cachePaths)), resource.UUID()));
}

VKThumbnailImageOperation::VKThumbnailImageOperation(std::shared_ptr<VKThumbnailManager> target, std::string path,
    core::Value cachePaths, std::string uuid)
    : VKSelector2Operation(target, Selector, VKConcreteString::stringWithString(path),
        VKTuple::tupleWithObject(cachePaths),
        [manager = target.get()](const Argument& first, const Argument& second) {
            manager->generatePreviewsForPath(static_cast<const VKConcreteString&>(*first).concreteString(),
                static_cast<const VKTuple&>(*second).firstObject());
        })
    , m_path(std::move(path))
    , m_uuid(std::move(uuid))
{
    manager().claimUUID(m_uuid, this);
}

VKThumbnailImageOperation::~VKThumbnailImageOperation()
{
    manager().releaseUUID(m_uuid, this);
}

VKThumbnailManager& VKThumbnailImageOperation::manager() const
{
    return static_cast<VKThumbnailManager&>(*target());
}

bool VKThumbnailImageOperation::isEqual(const core::Object& other) const
{
    auto* operation = dynamic_cast<const VKThumbnailImageOperation*>(&other);
    return operation && operation->target() == target() && operation->m_path == m_path && operation->m_uuid == m_uuid;
}

size_t VKThumbnailImageOperation::hash() const
{
    return std::hash<std::string>()(m_uuid) ^ (std::hash<std::string>()(m_path) * 38u) ^ target()->hash();
}
