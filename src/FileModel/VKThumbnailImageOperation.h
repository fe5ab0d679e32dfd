#pragma once

#include "Kit/VKSelector2Operation.h"

#include <memory>
#include <string>

class VKFileResource;
class VKThumbnailManager;

// The thumbnail work for one item on the shared image queue. Two requests
// for the same item of the same manager are equal, so a repeated request
// replaces the waiting one. The operation holds the item's place in the
// manager's work set and gives it up when it goes, run or not, so that an
// item never stays marked because its work was dropped.
class VKThumbnailImageOperation : public VKSelector2Operation {
public:
    static std::shared_ptr<VKThumbnailImageOperation> create(const VKFileResource& resource,
        const std::shared_ptr<VKThumbnailManager>& target);
    // Only reads the item's thumbnail file into the manager's memory.
    static std::shared_ptr<VKThumbnailImageOperation> createLoad(const VKFileResource& resource,
        const std::shared_ptr<VKThumbnailManager>& target);
    ~VKThumbnailImageOperation() override;

    const std::string& UUID() const { return m_uuid; }

    // Same class, same manager, same item path and UUID.
    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;

private:
    VKThumbnailImageOperation(std::shared_ptr<VKThumbnailManager> target, std::string path, core::Value cachePaths,
        std::string uuid);

    VKThumbnailManager& manager() const;

    const std::string m_path;
    const std::string m_uuid;
};
