#pragma once

#include <memory>

class VKAudioPlayerController;

// Which audio player screen the window's remote control and the shell's
// questions reach: the most recent one (the last that made a player, held
// weakly here and by the application delegate) and the class-wide one (no
// file, no view), made only when asked for by name. The identity check
// only compares with a class-wide screen that exists.
class VKAudioPlayerRegistry {
public:
    static std::shared_ptr<VKAudioPlayerController> mostRecent();
    static bool hasMostRecent();
    static void setMostRecent(const std::shared_ptr<VKAudioPlayerController>& controller);
    static std::shared_ptr<VKAudioPlayerController> shared();
    static bool isShared(const VKAudioPlayerController* controller);
    // The class-wide screen when it exists, the most recent one otherwise.
    static bool isAnyPlaying();
    static void reset();
};
