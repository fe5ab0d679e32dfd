#pragma once

class VKAudioPlayerView;

// The audio player's two settings, kept for every screen: shuffle
// ("VKAudioShuffle") and the repeat mode ("VKAudioRepeatMode", off, all,
// the track, or one track and close), and the images of their buttons on
// a screen's view, when it has one.
class VKAudioPlayModes {
public:
    static constexpr const char* RepeatModeKey = "VKAudioRepeatMode";
    static constexpr const char* ShuffleKey = "VKAudioShuffle";

    static bool isShuffleEnabled();
    static void setShuffleEnabled(bool enabled, VKAudioPlayerView* view);
    static int repeatMode();
    static void setRepeatMode(int mode, VKAudioPlayerView* view);
    // The mode after `mode`: off after the last, and after any unknown one.
    static int nextRepeatMode(int mode);
};
