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

int VKAudioPlayModes::repeatMode()
{
    return int(core::UserDefaults::standard()->integerForKey(RepeatModeKey));
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
    int next = mode + 1;
    return next > VKAudioPlaylist::SingleTrack || next < 0 ? VKAudioPlaylist::RepeatOff : next;
}
