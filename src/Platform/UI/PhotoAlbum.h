#pragma once

// The device's saved-photos album: images and videos the user keeps. Saving
// goes through a backend (a folder in the program, a recorder in tests);
// each completion runs exactly once, on a toolkit worker thread, never on
// the main thread: the caller hands the result over itself. Any thread.

#include "Platform/Core/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}

namespace ui {

class PhotoAlbum {
public:
    // Null on success.
    using Completion = std::function<void(const core::Error* error)>;

    class Backend {
    public:
        virtual ~Backend() = default;
        virtual void saveImage(std::shared_ptr<gfx::Image> image, Completion completion) = 0;
        virtual void saveVideo(std::string path, Completion completion) = 0;
    };

    static void saveImage(std::shared_ptr<gfx::Image> image, Completion completion);
    // Whether the device's album takes the video: mov, mp4 and m4v files.
    static bool isVideoCompatible(std::string_view path);
    // An incompatible video fails with EINVAL.
    static void saveVideo(std::string path, Completion completion);

    static std::shared_ptr<Backend> backend();
    // Null restores the folder backend.
    static void setBackend(std::shared_ptr<Backend> backend);

    // Runs `completion` on a new worker thread.
    static void completeOffMainThread(Completion completion, std::optional<core::Error> error);
};

} // namespace ui
