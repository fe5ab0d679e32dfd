#pragma once

#include "CloudOperations/VKCloudFileOperation.h"

// Copies cloud items into the destination cloud folder. A copy into the
// item's own folder whose name is taken gets the mirror's numbered "copy"
// name ("a copy.txt", "a copy 1.txt"); each confirmed copy gets a node of
// its own at once (the source's date, size and folder flag, nothing
// stored). A selection holding an upload is refused before any request.
class VKCloudCopyOperation : public VKCloudFileOperation {
public:
    static std::shared_ptr<VKCloudCopyOperation> initWithResources(std::vector<std::shared_ptr<VKFileResource>> resources);

    void run() override;

    void cloudServiceDidCopyPath(VKCloudService& service, const std::string& from, const std::string& to) override;
    void cloudServiceCopyFailedForPath(VKCloudService& service, const std::string& path, const core::Error&) override;

protected:
    std::string localizedErrorDescription() override;

private:
    explicit VKCloudCopyOperation(std::vector<std::shared_ptr<VKFileResource>> resources);
};
