#include "Viewers/AudioPlayer/VKAudioBackgroundSession.h"

#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Media/AudioPlayer.h"

VKAudioBackgroundSession::~VKAudioBackgroundSession()
{
    if (m_player)
        m_player->stop();
}

void VKAudioBackgroundSession::start()
{
    if (m_player)
        return;
    auto bundle = core::Bundle::main();
    std::string path = bundle ? bundle->pathForResource("silence", "mp3") : std::string();
    if (path.empty()) {
        core::log("Warning, no silence.mp3 to keep playing in the background");
        return;
    }
    core::Error error;
    auto player = media::AudioPlayer::create(core::URL::fileURL(path), &error);
    if (!player) {
        core::log("Warning, the background player failed to load: {}", error.description());
        return;
    }
    player->setNumberOfLoops(-1);
    player->setVolume(0);
    player->play();
    m_player = player;
}

void VKAudioBackgroundSession::stop()
{
    if (m_player)
        m_player->stop();
    m_player.reset();
}

void VKAudioBackgroundSession::pause()
{
    if (m_player)
        m_player->pause();
}

void VKAudioBackgroundSession::play()
{
    if (m_player)
        m_player->play();
}
