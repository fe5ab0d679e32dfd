#pragma once

// The program's photo album: a folder, by default one named after the
// bundle's display name in the user's pictures folder (PicturesFolder).
// Images are stored as JPEG at quality 0.9, videos copied; every file is
// written under a temporary name and then linked to a fresh name, so nothing
// there is ever overwritten or seen half-written. Saves run one after the
// other on one worker, which exists while there is work and also runs the
// completions.

#include "Platform/UI/PhotoAlbum.h"

#include <deque>
#include <functional>
#include <mutex>

namespace ui {

// Made with std::make_shared: each save keeps the album alive.
class FolderPhotoAlbum : public PhotoAlbum::Backend, public std::enable_shared_from_this<FolderPhotoAlbum> {
public:
    explicit FolderPhotoAlbum(std::string folder = defaultFolder());
    static std::string defaultFolder();

    const std::string& folder() const { return m_folder; }

    void saveImage(std::shared_ptr<gfx::Image> image, PhotoAlbum::Completion completion) override;
    void saveVideo(std::string path, PhotoAlbum::Completion completion) override;

private:
    // Writes through `write(temporaryPath)` and gives the result a name
    // "<stem> <n>.<extension>" not yet taken.
    bool store(const std::string& stem, const std::string& extension,
        const std::function<bool(const std::string&, core::Error*)>& write, core::Error* error);

    // Runs the job on the album's worker, after the jobs before it.
    void enqueue(std::function<void()> job);

    std::string m_folder;
    std::mutex m_mutex;
    std::mutex m_queueMutex;
    std::deque<std::function<void()>> m_jobs;
    bool m_workerRunning = false;
};

} // namespace ui
