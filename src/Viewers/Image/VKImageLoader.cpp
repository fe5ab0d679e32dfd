#include "Viewers/Image/VKImageLoader.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/ImageScalingAdditions.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKImageOperationQueue.h"
#include "Kit/VKSelectorOperation.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/StoredImage.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

// What the image queue's load operation holds.
class LoadRequest : public core::Object {
public:
    VKImageLoader::Done done;
    // Taken on the main thread: a cloud picture's path comes from the
    // mirror, which a worker's thread has no store to ask.
    std::string path;
    // The thumbnail manager and where it keeps this picture's preview and
    // thumbnail, also asked on the main thread; the files may not be there.
    std::shared_ptr<VKThumbnailManager> thumbnails;
    std::optional<std::string> previewPath;
    std::optional<std::string> thumbnailPath;
    // Only a picture of the home is read: a link may lead out of it.
    std::string home;
};

void loadImage(const LoadRequest& load)
{
    const std::string& path = load.path;
    const auto& previewPath = load.previewPath;
    // The header tells the size: a picture over the limit is refused before
    // any pixel is decoded, and the main thread never decodes.
    core::Error unopened;
    auto image = gfx::Image::imageWithContentsOfFileWithin(path, load.home, &unopened);
    if (unopened) {
        core::RunLoop::main().post([done = load.done, unopened] {
            if (done)
                done(nullptr, nullptr, std::nullopt, unopened);
        });
        return;
    }
    std::shared_ptr<gfx::Image> shown;
    bool made = false;
    std::optional<std::string> message;
    if (image && !vkCanProcessImage(*image)) {
        message = fmt::format(fmt::runtime(core::localized(
                                  "The image ({:.0f}x{:.0f}) is too large to display on this device.\nThe size limit for display is {}.")),
            image->size().width, image->size().height, vkMaximumPixelCountAsString());
        image = nullptr;
    } else if (image && VKThumbnailManager::imageRequiresPreview(image.get())) {
        // A large picture is never decoded whole: it is read at the size it
        // shows at on this screen in either orientation, which is the
        // folder's preview too (the cached one when it is that picture),
        // and zooming in reads tiles of it.
        gfx::Size screen = gfx::Screen::main().pixelSize();
        gfx::Size size = image->size();
        gfx::Size target = vkSizeConstrainedTo(
            size, std::min(std::max(size.width, size.height), std::max(screen.width, screen.height)));
        if (previewPath && image->imageOrientation() == gfx::ImageOrientation::Up && core::fs::exists(*previewPath)) {
            shown = gfx::Image::imageWithContentsOfFile(*previewPath);
            if (shown && (shown->size().width < 0.95f * target.width || !shown->decode()))
                shown = nullptr;
        }
        if (!shown) {
            bool turned = image->size().width != float(image->pixelWidth()) / image->scale();
            int width = int(turned ? target.height : target.width), height = int(turned ? target.width : target.height);
            shown = gfx::imageOfStoredRegion(*image, { 0, 0, float(image->pixelWidth()), float(image->pixelHeight()) },
                std::max(width, 1), std::max(height, 1));
            made = shown != nullptr;
        }
        if (!shown) {
            message = VKImageLoader::invalidImageMessage();
            image = nullptr;
        }
    } else if (!image || !image->decode()) {
        message = VKImageLoader::invalidImageMessage();
        image = nullptr;
    }
    core::RunLoop::main().post([done = load.done, image, shown, message] {
        if (done)
            done(image, shown, message, {});
    });
    // Written once the picture is on its way to the screen.
    if (made && load.thumbnails && previewPath)
        load.thumbnails->storePreviewsForPath(path, nullptr, shown, load.thumbnailPath, previewPath);
}

} // namespace

std::string VKImageLoader::invalidImageMessage()
{
    return core::localized("The image appears to be invalid or is unsupported.");
}

void VKImageLoader::load(const std::shared_ptr<VKFileResource>& resource, Done done)
{
    auto request = std::make_shared<LoadRequest>();
    request->done = std::move(done);
    request->path = resource->path();
    request->home = core::paths::home();
    if (resource->isImageType() && !resource->UUID().empty()) {
        request->thumbnails = VKThumbnailManager::sharedManager();
        request->previewPath = request->thumbnails->previewCachePathForResource(*resource);
        request->thumbnailPath = request->thumbnails->thumbnailCachePathForResource(*resource);
    }
    VKImageOperationQueue::sharedQueue()->addOperation(VKSelectorOperation::create(request, "loadImageOperation:", resource,
        [](LoadRequest& load, const VKSelectorOperation::Argument&) { loadImage(load); }));
}
