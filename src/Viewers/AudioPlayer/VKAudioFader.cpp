#include "Viewers/AudioPlayer/VKAudioFader.h"

#include "Audio/VKAudioPlayer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <algorithm>

VKAudioFader::~VKAudioFader()
{
    if (m_timer)
        m_timer->invalidate();
}

void VKAudioFader::start(bool fadeOut)
{
    auto host = m_host.lock();
    if (!host || !host->audioPlayer() || (m_timer && m_fadeOut == fadeOut))
        return;
    if (fadeOut && host->audioPlayer()->volume() == 0) {
        host->stop();
        return;
    }
    if (!fadeOut) {
        host->play();
        if (const auto& player = host->audioPlayer())
            player->setVolume(0);
    }
    end();
    m_fadeOut = fadeOut;
    // The fader lives as long as its host: holding the host holds it.
    m_timer = core::RunLoop::main().schedule(TimerInterval, true, [weak = m_host, this](core::Timer&) {
        if (auto host = weak.lock())
            timerDidFire(*host);
    });
}

void VKAudioFader::timerDidFire(VKAudioFaderHost& host)
{
    const auto& player = host.audioPlayer();
    if (!player) {
        end();
        return;
    }
    float step = m_fadeOut ? -Step : Step;
    float current = player->volume();
    float volume = std::clamp(current + step, 0.0f, 1.0f);
    if (volume == current) {
        bool fadeOut = m_fadeOut;
        end();
        if (fadeOut)
            host.stop();
        return;
    }
    player->setVolume(volume);
}

void VKAudioFader::end()
{
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
}
