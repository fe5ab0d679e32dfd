#pragma once

// The test environment's photo album: it keeps each save request until the
// test completes them, then runs every completion exactly once, off the main
// thread, as the device's album does.

#include "Platform/UI/PhotoAlbum.h"

#include <mutex>
#include <vector>

namespace ui::testing {

class PhotoAlbumRecorder : public PhotoAlbum::Backend {
public:
    struct Save {
        std::shared_ptr<gfx::Image> image;
        std::string videoPath;
    };

    void saveImage(std::shared_ptr<gfx::Image> image, PhotoAlbum::Completion completion) override;
    void saveVideo(std::string path, PhotoAlbum::Completion completion) override;

    // Every save asked for, completed or not.
    std::vector<Save> saves() const;
    size_t pendingCount() const;
    // Runs the pending completions (with `error` when given) on worker
    // threads; answers how many.
    size_t complete(std::optional<core::Error> error = std::nullopt);

private:
    mutable std::mutex m_mutex;
    std::vector<Save> m_saves;
    std::vector<PhotoAlbum::Completion> m_pending;
};

} // namespace ui::testing
