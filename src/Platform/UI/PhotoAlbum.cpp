#include "Platform/UI/PhotoAlbum.h"

#include "Platform/Core/ASCII.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/FolderPhotoAlbum.h"

#include <cerrno>
#include <mutex>

namespace ui {

namespace {

std::mutex backendMutex;
std::shared_ptr<PhotoAlbum::Backend> currentBackend;

} // namespace

std::shared_ptr<PhotoAlbum::Backend> PhotoAlbum::backend()
{
    std::lock_guard lock(backendMutex);
    if (!currentBackend)
        currentBackend = std::make_shared<FolderPhotoAlbum>();
    return currentBackend;
}

void PhotoAlbum::setBackend(std::shared_ptr<Backend> backend)
{
    std::lock_guard lock(backendMutex);
    currentBackend = std::move(backend);
}

void PhotoAlbum::saveImage(std::shared_ptr<gfx::Image> image, Completion completion)
{
    if (!image)
        return completeOffMainThread(std::move(completion), core::Error::posix(EINVAL));
    backend()->saveImage(std::move(image), std::move(completion));
}

bool PhotoAlbum::isVideoCompatible(std::string_view path)
{
    std::string extension = core::ascii::lowercased(core::path::pathExtension(path));
    return extension == "mov" || extension == "mp4" || extension == "m4v";
}

void PhotoAlbum::saveVideo(std::string path, Completion completion)
{
    if (!isVideoCompatible(path))
        return completeOffMainThread(std::move(completion), core::Error::posix(EINVAL));
    backend()->saveVideo(std::move(path), std::move(completion));
}

void PhotoAlbum::completeOffMainThread(Completion completion, std::optional<core::Error> error)
{
    if (!completion)
        return;
    core::Thread::detach("ui.PhotoAlbum", [completion = std::move(completion), error = std::move(error)] {
        completion(error ? &*error : nullptr);
    });
}

} // namespace ui
