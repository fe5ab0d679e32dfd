#include "Audio/VKAudioPlayer.h"

#include "Audio/VKMediaFilePlayer.h"

#include <fmt/format.h>

struct VKAudioPlayer::Private { };

std::shared_ptr<VKAudioPlayer> VKAudioPlayer::initWithURLRequest(const core::URLRequest& request, core::Error* error)
{
    auto player = std::make_shared<VKAudioPlayer>(Private(), request);
    if (request.url().isFileURL()) {
        core::Error refused;
        player->m_audioPlayer = media::AudioPlayer::create(request.url(), &refused);
        if (player->m_audioPlayer) {
            player->m_audioPlayer->setDelegate(player);
            return player;
        }
        // What the stream engine cannot read, the platform's media
        // framework may play.
        std::weak_ptr<VKAudioPlayer> weak = player;
        player->m_mediaPlayer = VKMediaFilePlayer::create(request.url().filePath(), [weak](bool successfully) {
            if (auto self = weak.lock())
                self->mediaPlayerDidEnd(successfully);
        });
        if (!player->m_mediaPlayer && error)
            *error = refused;
        return player;
    }
    player->m_streamPlayer = AQAudioStreamPlayer::initWithURLRequest(request, error);
    if (player->m_streamPlayer) {
        player->m_streamPlayer->setDelegate(player.get());
        // "buffering" follows the stream player's.
        std::weak_ptr<VKAudioPlayer> weak = player;
        player->m_bufferingObservation = player->m_streamPlayer->bufferingObservable().observe([weak](bool, bool buffering) {
            if (auto self = weak.lock())
                self->m_buffering.set(buffering);
        });
        player->m_buffering.set(player->m_streamPlayer->isBuffering());
    }
    return player;
}

std::shared_ptr<VKAudioPlayer> VKAudioPlayer::initWithURL(const core::URL& url, core::Error* error)
{
    return initWithURLRequest(core::URLRequest(url), error);
}

VKAudioPlayer::VKAudioPlayer(const Private&, core::URLRequest request)
    : m_request(std::move(request))
{
}

VKAudioPlayer::~VKAudioPlayer()
{
    m_delegate.reset();
    m_bufferingObservation = {};
    m_mediaPlayer.reset();
    if (m_audioPlayer)
        m_audioPlayer->stop();
    if (m_streamPlayer) {
        m_streamPlayer->setDelegate(nullptr);
        m_streamPlayer->stop();
    }
}

std::string VKAudioPlayer::description() const
{
    return fmt::format("<VKAudioPlayer {}> {} {}", fmt::ptr(this), isStreamingPlayer() ? "stream" : "file",
        m_request.url().absoluteString());
}

bool VKAudioPlayer::prepareToPlay()
{
    if (m_mediaPlayer)
        return true;
    return m_audioPlayer ? m_audioPlayer->prepareToPlay() : false;
}

bool VKAudioPlayer::play()
{
    if (m_mediaPlayer)
        return m_mediaPlayer->play();
    if (m_audioPlayer)
        return m_audioPlayer->play();
    return m_streamPlayer ? m_streamPlayer->play() : false;
}

void VKAudioPlayer::pause()
{
    if (m_mediaPlayer)
        m_mediaPlayer->pause();
    else if (m_audioPlayer)
        m_audioPlayer->pause();
    else if (m_streamPlayer)
        m_streamPlayer->pause();
}

void VKAudioPlayer::stop()
{
    if (m_mediaPlayer)
        m_mediaPlayer->stop();
    else if (m_audioPlayer)
        m_audioPlayer->stop();
    else if (m_streamPlayer)
        m_streamPlayer->stop();
}

core::URL VKAudioPlayer::url() const
{
    if (m_audioPlayer)
        return m_audioPlayer->url();
    return m_streamPlayer ? m_streamPlayer->urlRequest().url() : m_request.url();
}

bool VKAudioPlayer::isPlaying() const
{
    if (m_mediaPlayer)
        return m_mediaPlayer->isPlaying();
    if (m_audioPlayer)
        return m_audioPlayer->isPlaying();
    return m_streamPlayer && m_streamPlayer->isPlaying();
}

double VKAudioPlayer::duration() const
{
    if (m_mediaPlayer)
        return m_mediaPlayer->duration();
    if (m_audioPlayer)
        return m_audioPlayer->duration();
    return m_streamPlayer ? m_streamPlayer->estimatedDuration() : 0;
}

double VKAudioPlayer::availableDuration() const
{
    if (m_mediaPlayer)
        return m_mediaPlayer->duration();
    if (m_audioPlayer)
        return m_audioPlayer->duration();
    return m_streamPlayer ? m_streamPlayer->estimatedAvailableDuration() : 0;
}

double VKAudioPlayer::currentTime() const
{
    if (m_mediaPlayer)
        return m_mediaPlayer->currentTime();
    if (m_audioPlayer)
        return m_audioPlayer->currentTime();
    return m_streamPlayer ? m_streamPlayer->currentTime() : 0;
}

void VKAudioPlayer::setCurrentTime(double time)
{
    if (m_mediaPlayer) {
        m_mediaPlayer->setCurrentTime(time);
        return;
    }
    if (m_audioPlayer) {
        const bool wasPlaying = m_audioPlayer->isPlaying();
        m_audioPlayer->pause();
        m_audioPlayer->setCurrentTime(time);
        if (wasPlaying)
            m_audioPlayer->play();
        return;
    }
    if (m_streamPlayer)
        m_streamPlayer->setCurrentTime(time);
}

float VKAudioPlayer::volume() const
{
    if (m_mediaPlayer)
        return 1.0f;
    if (m_audioPlayer)
        return m_audioPlayer->volume();
    return m_streamPlayer ? m_streamPlayer->volume() : 0.0f;
}

void VKAudioPlayer::setVolume(float volume)
{
    if (m_audioPlayer)
        m_audioPlayer->setVolume(volume);
    else if (m_streamPlayer)
        m_streamPlayer->setVolume(volume);
}

std::optional<std::string> VKAudioPlayer::streamDestinationPath() const
{
    if (m_audioPlayer || !m_streamPlayer)
        return std::nullopt;
    return m_streamPlayer->destinationPath();
}

void VKAudioPlayer::setStreamDestinationPath(std::string path)
{
    if (!m_audioPlayer && m_streamPlayer)
        m_streamPlayer->setDestinationPath(std::move(path));
}

void VKAudioPlayer::audioStreamPlayerDidPreload(AQAudioStreamPlayer&)
{
}

void VKAudioPlayer::audioStreamPlayerDidFinishPlaying(AQAudioStreamPlayer&, bool successfully)
{
    auto keepAlive = self();
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerDidFinishPlaying(*this, successfully);
}

void VKAudioPlayer::audioStreamPlayerErrorDidOccur(AQAudioStreamPlayer&, const core::Error& error)
{
    auto keepAlive = self();
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerErrorDidOccur(*this, error);
}

void VKAudioPlayer::audioPlayerDidFinishPlaying(media::AudioPlayer&, bool successfully)
{
    auto keepAlive = self();
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerDidFinishPlaying(*this, successfully);
}

void VKAudioPlayer::audioPlayerDecodeErrorDidOccur(media::AudioPlayer&, const core::Error& error)
{
    auto keepAlive = self();
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerErrorDidOccur(*this, error);
}

void VKAudioPlayer::mediaPlayerDidEnd(bool successfully)
{
    auto keepAlive = self();
    auto delegate = m_delegate.lock();
    if (!delegate)
        return;
    if (successfully)
        delegate->audioPlayerDidFinishPlaying(*this, true);
    else
        delegate->audioPlayerErrorDidOccur(*this, core::Error("VKAudioPlayerErrorDomain", 1,
            "The file's sound cannot be played."));
}
