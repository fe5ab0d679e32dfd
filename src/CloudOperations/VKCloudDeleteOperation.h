#pragma once

#include "CloudOperations/VKCloudFileOperation.h"

// Deletes cloud items: their uploads and fetches stop first, then one
// request per item. Each confirmed deletion (an item the service no longer
// has counts as deleted) announces itself to the browsers and moves the
// stored copy and the node to the trash; all of them share one trash
// holder, closed before the end is reported.
class VKCloudDeleteOperation : public VKCloudFileOperation {
public:
    static std::shared_ptr<VKCloudDeleteOperation> initWithResources(std::vector<std::shared_ptr<VKFileResource>> resources);

    void run() override;

    void cloudServiceDidDeletePath(VKCloudService& service, const std::string& path) override;
    void cloudServiceDeleteFailedForPath(VKCloudService& service, const std::string& path, const core::Error&) override;

protected:
    std::string localizedErrorDescription() override;
    void sendDidEndDelegateMessage() override;

private:
    explicit VKCloudDeleteOperation(std::vector<std::shared_ptr<VKFileResource>> resources);

    bool m_inTrashGroup = false;
};
