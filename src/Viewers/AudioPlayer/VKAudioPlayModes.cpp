#include "Viewers/AudioPlayer/VKAudioPlayModes.h"

#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioPlaylist.h"

bool VKAudioPlayModes::isShuffleEnabled()
{
    return core::UserDefaults::standard()->boolForKey(ShuffleKey);
}

void VKAudioPlayModes::setShuffleEnabled(bool enabled, VKAudioPlayerView* view)
{
    core::UserDefaults::standard()->set(ShuffleKey, core::Value(enabled));
    if (view)
        view->shuffleButton()->setImage(ui::Images::imageNamed(enabled ? "AudioShuffleOn.png" : "AudioShuffleOff.png"),
            ui::Control::Normal);
}

// A value outside the four modes (a hand-edited settings file) reads as off.
int VKAudioPlayModes::repeatMode()
{
    int64_t mode = core::UserDefaults::standard()->integerForKey(RepeatModeKey);
    return mode >= VKAudioPlaylist::RepeatOff && mode <= VKAudioPlaylist::SingleTrack ? int(mode)
                                                                                  : VKAudioPlaylist::RepeatOff;
}

void VKAudioPlayModes::setRepeatMode(int mode, VKAudioPlayerView* view)
{
    core::UserDefaults::standard()->set(RepeatModeKey, core::Value(mode));
    if (!view)
        return;
    static constexpr const char* images[] = { "AudioRepeatOff.png", "AudioRepeatAll.png", "AudioRepeatTrack.png",
        "AudioPlaySingleTrack.png" };
    if (mode >= 0 && mode <= 3)
        view->repeatButton()->setImage(ui::Images::imageNamed(images[mode]), ui::Control::Normal);
}

int VKAudioPlayModes::nextRepeatMode(int mode)
{
    return mode >= VKAudioPlaylist::SingleTrack || mode < VKAudioPlaylist::RepeatOff ? VKAudioPlaylist::RepeatOff
                                                                                      : mode + 1;
}
