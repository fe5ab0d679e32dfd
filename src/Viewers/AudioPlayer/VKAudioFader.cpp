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
    if (!m_host.audioPlayer() || (m_timer && m_fadeOut == fadeOut))
        return;
    if (fadeOut && m_host.audioPlayer()->volume() == 0) {
        m_host.stop();
        return;
    }
    if (!fadeOut) {
        m_host.play();
        if (const auto& player = m_host.audioPlayer())
            player->setVolume(0);
    }
    end();
    m_fadeOut = fadeOut;
    // The timer ends with the fader, which ends with its host.
    m_timer = core::RunLoop::main().schedule(TimerInterval, true, [this](core::Timer&) { timerDidFire(); });
}

void VKAudioFader::timerDidFire()
{
    const auto& player = m_host.audioPlayer();
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
            m_host.stop();
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
