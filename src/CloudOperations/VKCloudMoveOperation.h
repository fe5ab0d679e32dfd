#pragma once

#include "CloudOperations/VKCloudFileOperation.h"

class VKCloudService;

// Moves cloud items into the destination cloud folder: every request leaves
// at once, and each confirmed move carries the item's mirror node and its
// stored copy along, so that the browser shows the result before the next
// listing. A selection holding an upload is refused before any request.
class VKCloudMoveOperation : public VKCloudFileOperation {
public:
    static std::shared_ptr<VKCloudMoveOperation> initWithResources(std::vector<std::shared_ptr<VKFileResource>> resources);

    void run() override;

    void cloudServiceDidMovePath(VKCloudService& service, const std::string& from, const std::string& to) override;
    void cloudServiceMoveFailedForPath(VKCloudService& service, const std::string& path, const core::Error&) override;

protected:
    explicit VKCloudMoveOperation(std::vector<std::shared_ptr<VKFileResource>> resources);
    std::string localizedErrorDescription() override;
};
