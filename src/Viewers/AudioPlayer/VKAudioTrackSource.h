#pragma once

#include <memory>
#include <string>

namespace core {
class Error;
}
class VKAudioPlayer;
class VKFileResource;

// Where the audio player's tracks come from and where their positions are
// kept. A local file plays from disk; a cloud file whose local copy is
// missing or incomplete streams, and the stream becomes the local copy
// (unless the cloud layer is fetching the file itself). Positions are kept
// per file ("offset", seconds) only past 15 s and before the end.
class VKAudioTrackSource {
public:
    // Positions up to this are not worth keeping.
    static constexpr double MinimumStoredTime = 15.0;

    // A player of the file, or of its stream; none with `error` set. A local
    // file is only read as a regular file of the home: when it cannot be (no
    // permission, gone, a link out of the home...), `unreadable` says why.
    static std::shared_ptr<VKAudioPlayer> open(
        const VKFileResource& resource, core::Error* error, core::Error* unreadable = nullptr);
    static void restorePosition(VKAudioPlayer& player, const VKFileResource& resource);
    static void storePosition(const VKAudioPlayer& player, const std::string& path);
    static void forgetPosition(const std::string& path);

private:
    static std::shared_ptr<VKAudioPlayer> openStream(const VKFileResource& resource, core::Error* error);
};
