#pragma once

#include "Platform/Core/Error.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace gfx {
class Image;
}
class VKFileResource;

// Reads the picture viewer's pictures on the shared image queue's worker.
// It reads the header and refuses a picture over the processing limit
// without decoding it; it decodes a small picture whole, and reads a large
// one only at the size it shows at on this screen (the cached preview when
// it is that, else written there, with the thumbnail, once read). The
// outcome goes to the main thread. It also hands the memory of a gone
// viewer's pictures back once the queue is done with them.
class VKImageLoader {
public:
    // On the main thread: `image` is the picture (decoded only when `shown`
    // is none), `shown` a large picture's smaller bitmap, `message` why it
    // failed, `unopened` why the file could not be read at all (a link out
    // of the home among the reasons). It should hold the viewer only weakly,
    // so that the viewer never ends on the worker.
    using Done = std::function<void(const std::shared_ptr<gfx::Image>& image, const std::shared_ptr<gfx::Image>& shown,
        std::optional<std::string> message, const core::Error& unopened)>;

    // Queues the read of `resource` (the paths are taken here, on the main
    // thread) behind what the queue is doing.
    static void load(const std::shared_ptr<VKFileResource>& resource, Done done);
    static std::string invalidImageMessage();
};
