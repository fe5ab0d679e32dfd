#include "Audio/VKMediaFilePlayer.h"

#include "Platform/Core/NotificationCenter.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/Movie/MovieAsset.h"
#include "Platform/Media/Movie/MoviePlayerController.h"

#include <algorithm>
#include <utility>

std::unique_ptr<VKMediaFilePlayer> VKMediaFilePlayer::create(const std::string& path, Ended ended)
{
    media::MovieAsset asset(path);
    if (asset.tracks(media::MovieAsset::MediaTypeAudio).empty())
        return nullptr;
    auto controller = media::MoviePlayerController::create(path);
    if (!controller)
        return nullptr;
    std::unique_ptr<VKMediaFilePlayer> player(new VKMediaFilePlayer());
    controller->setShouldAutoplay(false);
    controller->setControlStyle(media::MovieControlStyle::None);
    player->m_player = controller;
    player->m_duration = asset.duration();
    player->m_ended = std::move(ended);
    VKMediaFilePlayer* self = player.get();
    player->m_finish = core::NotificationCenter::defaultCenter().observe(media::MoviePlayerPlaybackDidFinishNotification,
        controller, [self](const media::MovieFinish& finish) {
            if (self->m_ended)
                self->m_ended(!finish.error);
        });
    // Without a sound device the framework plays into nothing: told as the
    // stream engine's queues tell it.
    player->m_loaded = core::NotificationCenter::defaultCenter().observe(media::MoviePlayerLoadStateDidChangeNotification,
        controller, [self](const core::Notification&) {
            if ((self->m_player->loadState() & media::MovieLoadStatePlayable) && !self->m_player->hasSoundOutput()
                && !std::exchange(self->m_toldNoSoundOutput, true))
                core::NotificationCenter::defaultCenter().post(media::SoundOutputUnavailableNotification);
        });
    return player;
}

VKMediaFilePlayer::~VKMediaFilePlayer()
{
    m_finish = {};
    m_loaded = {};
    if (m_player)
        m_player->stop();
}

bool VKMediaFilePlayer::play()
{
    m_player->play();
    return true;
}

void VKMediaFilePlayer::pause()
{
    m_player->pause();
}

void VKMediaFilePlayer::stop()
{
    m_player->stop();
}

bool VKMediaFilePlayer::isPlaying() const
{
    return m_player->playbackState() == media::MoviePlaybackState::Playing;
}

double VKMediaFilePlayer::duration() const
{
    return m_player->duration() > 0 ? m_player->duration() : m_duration;
}

double VKMediaFilePlayer::currentTime() const
{
    return std::max(0.0, m_player->currentPlaybackTime());
}

void VKMediaFilePlayer::setCurrentTime(double time)
{
    m_player->setCurrentPlaybackTime(time);
}
