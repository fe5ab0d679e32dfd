#include "Platform/UI/Testing/PhotoAlbumRecorder.h"

namespace ui::testing {

void PhotoAlbumRecorder::saveImage(std::shared_ptr<gfx::Image> image, PhotoAlbum::Completion completion)
{
    std::lock_guard lock(m_mutex);
    m_saves.push_back({ std::move(image), {} });
    m_pending.push_back(std::move(completion));
}

void PhotoAlbumRecorder::saveVideo(std::string path, PhotoAlbum::Completion completion)
{
    std::lock_guard lock(m_mutex);
    m_saves.push_back({ nullptr, std::move(path) });
    m_pending.push_back(std::move(completion));
}

std::vector<PhotoAlbumRecorder::Save> PhotoAlbumRecorder::saves() const
{
    std::lock_guard lock(m_mutex);
    return m_saves;
}

size_t PhotoAlbumRecorder::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_pending.size();
}

size_t PhotoAlbumRecorder::complete(std::optional<core::Error> error)
{
    std::vector<PhotoAlbum::Completion> pending;
    {
        std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    for (auto& completion : pending)
        PhotoAlbum::completeOffMainThread(std::move(completion), error);
    return pending.size();
}

} // namespace ui::testing
