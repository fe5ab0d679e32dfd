#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"

#include "Shell/ImageScalingAdditions.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKImageOperationQueue.h"

#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/MainThread.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/PhotoAlbum.h"

std::shared_ptr<VKSaveMediaToPhotosAlbumOperation> VKSaveMediaToPhotosAlbumOperation::create(
    std::vector<std::string> mediaPaths)
{
    return std::shared_ptr<VKSaveMediaToPhotosAlbumOperation>(
        new VKSaveMediaToPhotosAlbumOperation(std::move(mediaPaths)));
}

VKSaveMediaToPhotosAlbumOperation::VKSaveMediaToPhotosAlbumOperation(std::vector<std::string> mediaPaths)
    : m_mediaPaths(std::move(mediaPaths))
{
}

VKSaveMediaToPhotosAlbumOperation::~VKSaveMediaToPhotosAlbumOperation() = default;

void VKSaveMediaToPhotosAlbumOperation::start()
{
    m_processedCount = 0;
    m_successCount = 0;
    {
        std::lock_guard lock(m_mutex);
        m_next = 0;
        m_inFlight = 0;
        m_queued = true;
    }
    if (auto queue = VKImageOperationQueue::sharedQueue())
        queue->addOperation(sharedAs<VKOperation>());
}

float VKSaveMediaToPhotosAlbumOperation::progress() const
{
    if (m_mediaPaths.empty())
        return 0;
    return float(m_processedCount) / float(m_mediaPaths.size());
}

void VKSaveMediaToPhotosAlbumOperation::run()
{
    for (;;) {
        std::string path;
        {
            std::lock_guard lock(m_mutex);
            if (isCancelled() || m_next >= m_mediaPaths.size() || m_inFlight >= MaximumSavesInFlight) {
                m_queued = false;
                return;
            }
            path = m_mediaPaths[m_next++];
            ++m_inFlight;
        }
        saveMediaAtPath(path);
    }
}

void VKSaveMediaToPhotosAlbumOperation::saveMediaAtPath(const std::string& path)
{
    auto self = sharedAs<VKSaveMediaToPhotosAlbumOperation>();
    auto completion = [self, path](const core::Error* error) { self->answer(error, path); };
    if (mimeTypeOfItemAtPath(path).starts_with("image/")) {
        // A file that is no image, or one too large to scale, reaches the
        // album as nothing and is answered as a failure.
        auto image = gfx::Image::imageWithContentsOfFile(path);
        if (image) {
            gfx::Size native = vkNativeLandscapeSize();
            gfx::Size size = image->size();
            if (double(size.width) * size.height > double(native.width) * native.height
                || image->imageOrientation() != gfx::ImageOrientation::Up)
                image = vkImageScaledToSize(image, vkSizeConstrainedTo(*image, native.width));
        }
        ui::PhotoAlbum::saveImage(std::move(image), std::move(completion));
    } else if (ui::PhotoAlbum::isVideoCompatible(path)) {
        ui::PhotoAlbum::saveVideo(path, std::move(completion));
    } else {
        core::log("Warning, incompatible video at path: {}", path);
        core::Error refused(core::Error::CocoaDomain, UnsupportedMovieErrorCode,
            core::localized("Unsupported movie type"));
        answer(&refused, path);
    }
}

void VKSaveMediaToPhotosAlbumOperation::answer(const core::Error* error, const std::string& path)
{
    std::optional<core::Error> copy;
    if (error)
        copy = *error;
    core::performOnMainThread([self = sharedAs<VKSaveMediaToPhotosAlbumOperation>(), copy = std::move(copy), path] {
        self->mediaDidFinishSavingWithError(copy, path);
    });
}

void VKSaveMediaToPhotosAlbumOperation::mediaDidFinishSavingWithError(const std::optional<core::Error>& error,
    const std::string& path)
{
    if (!error)
        ++m_successCount;
    else
        core::log("Save media error: {}", *error);
    ++m_processedCount;
    if (auto delegate = this->delegate())
        delegate->saveMediaToPhotosAlbumOperationDidProcessMedia(*this, path);

    if (size_t(m_processedCount) == m_mediaPaths.size()) {
        if (auto delegate = this->delegate()) {
            std::optional<core::Error> failure;
            if (m_successCount != m_processedCount)
                failure = core::Error(core::Error::CocoaDomain, FailedSavesErrorCode,
                    core::Value::Dictionary { { "failureCount", int64_t(m_processedCount - m_successCount) } });
            delegate->saveMediaToPhotosAlbumOperationDidEnd(*this, failure);
        }
        return;
    }

    // The delegate may have cancelled the operation above: the freed slot
    // then starts nothing.
    bool requeue = false;
    {
        std::lock_guard lock(m_mutex);
        --m_inFlight;
        if (!m_queued && !isCancelled() && m_next < m_mediaPaths.size())
            requeue = m_queued = true;
    }
    if (requeue)
        if (auto queue = VKImageOperationQueue::sharedQueue())
            queue->addOperation(sharedAs<VKOperation>());
}
