#pragma once

#include <functional>
#include <memory>
#include <string>

namespace core {
class Timer;
}
class VKImageViewController;

// The picture viewer's saving of the shown picture to the photo album: the
// title says it is saving, then that it succeeded (for two seconds) or an
// alert gives the failures. A saver set for the process replaces the
// album operation the folder screen uses for marked files.
class VKImageAlbumSave {
public:
    // Saves the file at `path` and calls back once on the main thread with
    // the number of files that failed (0: saved).
    using Saver = std::function<void(const std::string& path, std::function<void(int failureCount)> done)>;
    static void setSaver(Saver saver);

    ~VKImageAlbumSave();
    bool isSaving() const { return m_saving; }
    // The viewer stays alive until the save ends.
    void save(const std::shared_ptr<VKImageViewController>& viewer);
    void didEnd(VKImageViewController& viewer, int failureCount);

private:
    bool m_saving = false;
    std::shared_ptr<core::Timer> m_titleTimer;
};
