#include "Viewers/Image/VKImageNeighbours.h"

#include "App/Viewers/VKViewerFolderHost.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Graphics/Image.h"

namespace {

const std::string ImageMimePrefix = "image/";

// The first picture `step` reaches from `neighbour` that this viewer can show.
template<typename Step>
std::shared_ptr<VKFileResource> firstShowable(std::shared_ptr<VKFileResource> neighbour, Step step)
{
    while (neighbour) {
        neighbour = step(neighbour);
        if (neighbour && VKImageNeighbours::canShowImage(*neighbour))
            return neighbour;
    }
    return nullptr;
}

} // namespace

bool VKImageNeighbours::canShowImage(const VKFileResource& resource)
{
    return gfx::Image::canDecodeMIMEType(resource.mimeType());
}

std::shared_ptr<VKFileResource> VKImageNeighbours::previous(VKViewerFolderHost* folder,
    std::shared_ptr<VKFileResource> resource)
{
    if (!folder)
        return nullptr;
    return firstShowable(std::move(resource), [&](const std::shared_ptr<VKFileResource>& from) {
        return folder->getPreviousViewableResourceRelativeToResource(from, ImageMimePrefix);
    });
}

std::shared_ptr<VKFileResource> VKImageNeighbours::next(VKViewerFolderHost* folder,
    std::shared_ptr<VKFileResource> resource)
{
    if (!folder)
        return nullptr;
    return firstShowable(std::move(resource), [&](const std::shared_ptr<VKFileResource>& from) {
        return folder->getNextViewableResourceRelativeToResource(from, ImageMimePrefix);
    });
}

std::vector<std::shared_ptr<VKFileResource>> VKImageNeighbours::showable(VKViewerFolderHost* folder)
{
    std::vector<std::shared_ptr<VKFileResource>> images;
    if (folder)
        images = folder->getAllViewableResourcesWithType(ImageMimePrefix);
    std::erase_if(images, [](const auto& image) { return !image || !canShowImage(*image); });
    return images;
}

void VKImageNeighbours::preload(const std::shared_ptr<VKFileResource>& neighbour)
{
    if (!neighbour || isPreloaded(neighbour->UUID()))
        return;
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    if (neighbour->isCloudResource() && !neighbour->isUpload()) {
        auto manager = VKCloudServicesManager::sharedManager();
        auto service = manager ? manager->cloudServiceForResource(*neighbour) : nullptr;
        if (auto cloud = std::dynamic_pointer_cast<VKCloudFileResource>(neighbour); service && cloud)
            service->fetchResource(cloud, nullptr);
        return;
    }
    auto thumbnails = VKThumbnailManager::sharedManager();
    if (!thumbnails->previewForResource(*neighbour))
        thumbnails->generateThumbnailAndScreenPreviewForResource(neighbour);
}
