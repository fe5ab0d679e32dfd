#include "Audio/AQAudioStreamPlayer.h"

#include "Shell/VKApplication.h"
#include "Kit/ObjectAdditions.h"
#include "Platform/Core/FileHandle.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/UUID.h"
#include "Platform/Media/AudioQueue.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"
#include "Platform/UI/Application.h"
#include "Audio/AQAudioQueueBuffer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

struct AQAudioStreamPlayer::Private { };

namespace {

constexpr int ErrorCannotOpenFile = -3001;
constexpr int ErrorStreamInterrupted = -3006;
// Bytes of the header's data handed to the parser at a time, so that the
// data following the header is read from the file as the queue needs it.
constexpr size_t HeaderPiece = 8192;

std::string extensionOf(const core::URLRequest& request)
{
    return core::path::pathExtension(request.url().path());
}

} // namespace

media::FourCharCode AQAudioStreamPlayer::audioFileTypeForExtension(const std::string& extension)
{
    if (extension == "mp3")
        return media::fileType::MP3;
    if (extension == "wav")
        return media::fileType::WAVE;
    if (extension == "aifc")
        return media::fileType::AIFC;
    if (extension == "aiff")
        return media::fileType::AIFF;
    if (extension == "m4a")
        return media::fileType::M4A;
    if (extension == "mp4")
        return media::fileType::MPEG4;
    if (extension == "caf")
        return media::fileType::CAF;
    if (extension == "aac")
        return media::fileType::ADTS;
    return media::fileType::MP3;
}

std::shared_ptr<AQAudioStreamPlayer> AQAudioStreamPlayer::initWithURLRequest(const core::URLRequest& request,
    core::Error* error)
{
    if (!net::URLConnection::canHandleRequest(request)) {
        core::setError(error,
            net::URLError::make(net::URLError::UnsupportedURL, request.url(), core::localized("Unable to handle request")));
        return nullptr;
    }
    auto player = std::make_shared<AQAudioStreamPlayer>(Private(), request);
    player->m_audioFileStream = AQAudioFileStream::create(player.get(), audioFileTypeForExtension(extensionOf(request)));
    std::weak_ptr<AQAudioStreamPlayer> weak = player;
    auto& center = core::NotificationCenter::defaultCenter();
    player->m_notifications += center.observe(VKApplicationAudioInterruptionDidBeginNotification, nullptr,
        [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->audioInterruptionDidBegin(notification);
        });
    player->m_notifications += center.observe(VKApplicationAudioInterruptionDidEndNotification, nullptr,
        [weak](const core::Notification& notification) {
            if (auto self = weak.lock())
                self->audioInterruptionDidEnd(notification);
        });
    return player;
}

AQAudioStreamPlayer::AQAudioStreamPlayer(const Private&, const core::URLRequest& request)
    : m_urlRequest(request)
{
}

AQAudioStreamPlayer::~AQAudioStreamPlayer()
{
    m_notifications.clear();
    m_terminationObservation = {};
    m_delegate = nullptr;
    if (m_connection)
        m_connection->cancel();
    m_connection = nullptr;
    removeTemporaryFile();
    m_currentBuffer = nullptr;
    m_audioQueue = nullptr;
    m_audioFileStream = nullptr;
}

std::string AQAudioStreamPlayer::description() const
{
    return fmt::format("<AQAudioStreamPlayer {}> {} ({} of {} bytes)", fmt::ptr(this), m_urlRequest.url().absoluteString(),
        m_actualContentLength, m_expectedContentLength);
}

// --- Loading --------------------------------------------------------------

void AQAudioStreamPlayer::didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response)
{
    m_expectedContentLength = response.expectedContentLength();
    setBuffering(true);
    if (response.statusCode() >= 400) {
        // An error page is not audio.
        cancelWithError(net::URLError::make(net::URLError::BadServerResponse, m_urlRequest.url()));
        return;
    }
    if (m_expectedContentLength < 0)
        return;
    std::string path = m_destinationPath;
    if (path.empty()) {
        if (m_temporaryFilePath.empty()) {
            m_temporaryFilePath = core::paths::temporaryDirectory()
                + fmt::format("{}.{}", core::uuidString(), extensionOf(m_urlRequest));
            std::weak_ptr<AQAudioStreamPlayer> weak = self();
            m_terminationObservation = core::NotificationCenter::defaultCenter().observe(
                ui::Application::willTerminateNotification, nullptr, [weak](const core::Notification& notification) {
                    if (auto player = weak.lock())
                        player->applicationWillTerminate(notification);
                });
        }
        path = m_temporaryFilePath;
    }
    // Each download writes the file from its start.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0)
        ::close(fd);
    m_writingHandle = core::FileHandle::fileHandleForWritingAtPath(path);
    m_readingHandle = core::FileHandle::fileHandleForReadingAtPath(path);
    if (!m_writingHandle || !m_readingHandle)
        cancelWithErrorCode(ErrorCannotOpenFile, core::localized("Unable to read file"));
}

void AQAudioStreamPlayer::didReceiveData(net::URLConnection&, const core::Data& data)
{
    auto keepAlive = self();
    if (m_expectedContentLength >= 0) {
        if (!m_writingHandle)
            return;
        core::Error error;
        if (!m_writingHandle->writeData(data, &error)) {
            // A full disk ends the download as a failure, never as silence.
            cancelWithError(error);
            return;
        }
        m_actualContentLength += int64_t(data.size());
        updateAvailableDuration();
        if (m_audioFileStream && m_audioFileStream->readyToProducePackets()) {
            if (isPlaying())
                feedQueue();
            return;
        }
        // The header is parsed as it arrives; once it is whole, the rest is
        // read from the file, from just after what was parsed.
        size_t parsed = 0;
        while (parsed < data.size() && m_audioFileStream && !m_audioFileStream->readyToProducePackets()) {
            const size_t piece = std::min(HeaderPiece, data.size() - parsed);
            m_audioFileStream->parseData(data.view().substr(parsed, piece));
            parsed += piece;
        }
        if (m_readingHandle)
            m_readingHandle->seekToFileOffset(uint64_t(m_actualContentLength) - (data.size() - parsed));
        updateAvailableDuration();
        if (m_audioFileStream && m_audioFileStream->readyToProducePackets() && isPlaying())
            feedQueue();
        return;
    }
    m_actualContentLength += int64_t(data.size());
    if (m_audioFileStream)
        m_audioFileStream->parseData(data);
    setBuffering(!m_audioQueue || m_audioQueue->enqueuedBufferCount() < AQAudioQueue::minimumBufferCount);
    // Enough is queued: the queue plays (it was made after play() asked).
    if (!isBuffering() && isPlaying() && (m_audioQueue->isPaused() || !m_audioQueue->isRunning()))
        startQueueOnNextPass();
}

void AQAudioStreamPlayer::didFinishLoading(net::URLConnection&)
{
    auto keepAlive = self();
    m_loadFinished = true;
    if (m_expectedContentLength >= 0 && m_actualContentLength >= m_expectedContentLength)
        return;
    if (m_expectedContentLength < 0) {
        // Without a length, the end of the load is the end of the audio.
        if (!m_audioQueue) {
            finishPlaying(false);
            return;
        }
        playOut();
        return;
    }
    stop();
    cancelWithErrorCode(ErrorStreamInterrupted, core::localized("Audio stream interrupted"));
}

void AQAudioStreamPlayer::didFailWithError(net::URLConnection&, const core::Error& error)
{
    core::log("connection:didFailWithError {}", error.description());
    cancelWithError(error);
}

// --- Parsing into buffers ---------------------------------------------------

void AQAudioStreamPlayer::didFindData(AQAudioFileStream&, std::string_view data)
{
    // A run of frames larger than a buffer is cut at frame boundaries.
    const uint32_t frame = std::max<uint32_t>(m_audioFileStream->basicDescription().bytesPerFrame, 1);
    while (!data.empty() && m_audioQueue) {
        const size_t room = m_currentBuffer ? m_currentBuffer->bufferSize() - m_currentBuffer->byteSize() : 0;
        size_t piece = std::min(data.size(), room / frame * frame);
        if (!piece)
            piece = std::min<size_t>(data.size(), std::max<uint32_t>(m_audioQueue->bufferSize() / frame * frame, frame));
        addToBuffer(data.substr(0, piece), false, 0);
        data.remove_prefix(piece);
    }
}

void AQAudioStreamPlayer::didFindPacketData(AQAudioFileStream&, std::string_view data, uint32_t numFrames)
{
    addToBuffer(data, true, numFrames);
}

void AQAudioStreamPlayer::addToBuffer(std::string_view data, bool isPacket, uint32_t numFrames)
{
    if (!m_audioQueue)
        return;
    if (!m_currentBuffer && !(m_currentBuffer = m_audioQueue->availableBuffer()))
        return;
    auto add = [&] { return isPacket ? m_currentBuffer->addPacketData(data, numFrames) : m_currentBuffer->addData(data); };
    if (add())
        return;
    m_audioQueue->enqueueBuffer(*m_currentBuffer);
    m_currentBuffer = m_audioQueue->availableBuffer();
    if (m_currentBuffer && !add())
        core::log("Warning, a packet of {} bytes does not fit a buffer of {}", data.size(), m_audioQueue->bufferSize());
}

void AQAudioStreamPlayer::fileStreamReadyToProducePackets(AQAudioFileStream& stream,
    const media::AudioStreamBasicDescription& description)
{
    if (m_audioQueue)
        return;
    uint32_t bufferSize = 0;
    if (description.bytesPerFrame) {
        bufferSize = uint32_t(description.sampleRate * description.bytesPerFrame * 0.5);
    } else {
        const uint32_t largest = stream.maximumPacketSize();
        bufferSize = largest > 8192 ? largest * 2 : 8192;
    }

    m_audioQueue = AQAudioQueue::create(description, bufferSize);
    if (!m_audioQueue)
        return;
    m_audioQueue->setDelegate(this);
    m_audioQueue->setVolume(m_volume);
    if (auto cookie = stream.magicCookie()) {
        if (m_audioQueue->audioQueueRef()->setProperty(media::queueProperty::MagicCookie, cookie->bytes(),
                uint32_t(cookie->size())))
            core::log("Warning, failed to set AudioQueue magic cookie");
    }
    if (auto* delegate = m_delegate)
        delegate->audioStreamPlayerDidPreload(*this);
}

// --- Feeding the queue ------------------------------------------------------

void AQAudioStreamPlayer::feedQueue()
{
    if (!m_audioQueue || !m_audioFileStream)
        return;
    auto keepAlive = self();
    if (m_playingOut) {
        if (m_audioQueue->enqueuedBufferCount() == 0)
            finishPlaying(!m_readingHandle || m_readingHandle->offsetInFile() == uint64_t(m_expectedContentLength));
        return;
    }
    bool readNothing = false;
    while (isPlaying() && m_audioQueue && m_audioQueue->enqueuedBufferCount() < AQAudioQueue::minimumBufferCount) {
        const core::Data data = m_readingHandle ? m_readingHandle->readDataOfLength(m_audioQueue->bufferSize()) : core::Data();
        if (data.empty()) {
            readNothing = true;
            break;
        }
        m_audioFileStream->parseData(data);
    }
    if (!m_audioQueue)
        return;
    if (readNothing) {
        if (m_actualContentLength > 0 && m_expectedContentLength >= 0 && m_actualContentLength >= m_expectedContentLength) {
            playOut();
            return;
        }
        if (!isBuffering()) {
            m_audioQueue->pause();
            setBuffering(true);
        }
    }
    if (m_audioQueue->enqueuedBufferCount() < AQAudioQueue::minimumBufferCount)
        return;
    setBuffering(false);
    if (isPlaying() && (m_audioQueue->isPaused() || !m_audioQueue->isRunning()))
        startQueueOnNextPass();
}

void AQAudioStreamPlayer::playOut()
{
    m_playingOut = true;
    if (m_currentBuffer && m_currentBuffer->byteSize() > 0 && m_audioQueue) {
        m_audioQueue->enqueueBuffer(*m_currentBuffer);
        m_currentBuffer = nullptr;
    }
    setBuffering(false);
    if (!m_audioQueue || m_audioQueue->enqueuedBufferCount() == 0) {
        feedQueue();
        return;
    }
    if (isPlaying() && (m_audioQueue->isPaused() || !m_audioQueue->isRunning()))
        startQueueOnNextPass();
}

void AQAudioStreamPlayer::finishPlaying(bool successfully)
{
    auto keepAlive = self();
    stop();
    // A later play() starts at the beginning again.
    m_seekTime = 0;
    const int64_t start = m_audioFileStream ? m_audioFileStream->audioDataByteOffsetForSeekTime(0) : -1;
    if (m_readingHandle && start >= 0) {
        m_readingHandle->seekToFileOffset(m_audioFileStream->dataOffset() + uint64_t(start));
        m_audioFileStream->expectDiscontinuity();
    }
    if (auto* delegate = m_delegate)
        delegate->audioStreamPlayerDidFinishPlaying(*this, successfully);
}

void AQAudioStreamPlayer::startQueueOnNextPass()
{
    vkPerformSelectorOnNextRunLoopRun(self(), [](AQAudioStreamPlayer& player) {
        if (player.m_audioQueue && player.isPlaying())
            player.m_audioQueue->start();
    });
}

void AQAudioStreamPlayer::audioQueueBuffersDidUnderrun(AQAudioQueue& queue)
{
    if (m_playingOut) {
        feedQueue();
        return;
    }
    if (m_expectedContentLength >= 0) {
        feedQueue();
        return;
    }
    if (!isPlaying())
        setBuffering(false);
    else
        setBuffering(queue.enqueuedBufferCount() < AQAudioQueue::minimumBufferCount);
}

// --- Control ------------------------------------------------------------------

bool AQAudioStreamPlayer::play()
{
    if (isPlaying())
        return true;
    auto keepAlive = self();
    if (m_expectedContentLength > 0 && m_actualContentLength >= m_expectedContentLength) {
        m_playing.set(true);
        if (m_audioQueue)
            m_audioQueue->start();
        return true;
    }
    if (!m_connection) {
        if (m_actualContentLength > 0 || m_loadFinished)
            restartFromTheBeginning();
        m_connection = net::URLConnection::create(m_urlRequest, keepAlive);
        setBuffering(true);
    }
    if (!m_connection)
        return false;
    m_playing.set(true);
    if (m_audioQueue)
        m_audioQueue->start();
    return true;
}

// A download that was stopped before it ended starts over: the file, the
// count and the parser begin again from byte 0.
void AQAudioStreamPlayer::restartFromTheBeginning()
{
    m_actualContentLength = 0;
    m_expectedContentLength = 0;
    m_loadFinished = false;
    m_playingOut = false;
    m_seekTime = 0;
    if (m_audioQueue) {
        m_audioQueue->stop();
        m_audioQueue->returnBuffer(m_currentBuffer);
    }
    m_currentBuffer = nullptr;
    m_writingHandle = nullptr;
    m_readingHandle = nullptr;
    m_audioFileStream = AQAudioFileStream::create(this, audioFileTypeForExtension(extensionOf(m_urlRequest)));
    updateAvailableDuration();
}

void AQAudioStreamPlayer::pause()
{
    m_playing.set(false);
    if (m_audioQueue)
        m_audioQueue->pause();
}

void AQAudioStreamPlayer::stop()
{
    auto keepAlive = self();
    m_playing.set(false);
    setBuffering(false);
    m_playingOut = false;
    if (m_audioQueue)
        m_audioQueue->stop();
    if (m_connection)
        m_connection->cancel();
    m_connection = nullptr;
}

float AQAudioStreamPlayer::volume() const
{
    return m_audioQueue ? m_audioQueue->volume() : m_volume;
}

void AQAudioStreamPlayer::setVolume(float volume)
{
    m_volume = media::clampedVolume(volume);
    if (m_audioQueue)
        m_audioQueue->setVolume(m_volume);
}

// --- Time ---------------------------------------------------------------------

double AQAudioStreamPlayer::currentTime() const
{
    if (!m_audioQueue || !m_audioFileStream)
        return 0;
    const double rate = m_audioFileStream->basicDescription().sampleRate;
    if (!(rate > 0))
        return 0;
    return m_seekTime + m_audioQueue->currentSampleTime() / rate;
}

double AQAudioStreamPlayer::estimatedDuration() const
{
    if (m_expectedContentLength <= 0 || !m_audioFileStream || !m_audioFileStream->readyToProducePackets())
        return 0;
    const double time = m_audioFileStream->estimatedTimeForByteOffset(
        m_expectedContentLength - 1 - int64_t(m_audioFileStream->dataOffset()));
    return time < 0 ? 0 : std::ceil(time);
}

double AQAudioStreamPlayer::estimatedAvailableDuration() const
{
    if (m_expectedContentLength <= 0)
        return 0;
    return estimatedDuration() * double(m_actualContentLength) / double(m_expectedContentLength);
}

void AQAudioStreamPlayer::updateAvailableDuration()
{
    m_estimatedAvailableDuration.set(estimatedAvailableDuration());
}

void AQAudioStreamPlayer::setCurrentTime(double time)
{
    if (!(time <= estimatedAvailableDuration())) {
        core::log("Warning, currentTime exceeds estimatedAvailableDuration: {:f}", time);
        return;
    }
    if (!m_audioQueue || !m_audioFileStream)
        return;
    auto keepAlive = self();
    // A paused queue stays paused at the new place; play() starts it there.
    const bool wasRunning = m_audioQueue->isRunning() && !m_audioQueue->isPaused();
    m_audioQueue->stop();
    m_audioQueue->returnBuffer(m_currentBuffer);
    m_currentBuffer = nullptr;
    m_playingOut = false;
    const int64_t offset = m_audioFileStream->audioDataByteOffsetForSeekTime(time);
    const int64_t position = int64_t(m_audioFileStream->dataOffset()) + offset;
    if (offset >= 0 && position < m_actualContentLength && m_readingHandle) {
        const double start = m_audioFileStream->estimatedTimeForByteOffset(offset);
        m_seekTime = start >= 0 ? start : time;
        m_readingHandle->seekToFileOffset(uint64_t(position));
        // The bytes read next do not follow the ones before: the parser
        // must find the packets' boundaries again.
        m_audioFileStream->expectDiscontinuity();
    }
    if (wasRunning)
        m_audioQueue->start();
}

// --- Errors, interruptions, the end ------------------------------------------

void AQAudioStreamPlayer::cancelWithErrorCode(int code, const std::string& localizedDescription)
{
    cancelWithError(net::URLError::make(code, m_urlRequest.url(), localizedDescription));
}

void AQAudioStreamPlayer::cancelWithError(const core::Error& error)
{
    auto keepAlive = self();
    stop();
    if (m_connection)
        m_connection->cancel();
    m_connection = nullptr;
    if (auto* delegate = m_delegate)
        delegate->audioStreamPlayerErrorDidOccur(*this, error);
}

void AQAudioStreamPlayer::audioInterruptionDidBegin(const core::Notification&)
{
    m_wasPlayingAtInterruption = isPlaying();
    if (m_wasPlayingAtInterruption)
        pause();
}

void AQAudioStreamPlayer::audioInterruptionDidEnd(const core::Notification&)
{
    if (m_wasPlayingAtInterruption)
        play();
    m_wasPlayingAtInterruption = false;
}

void AQAudioStreamPlayer::applicationWillTerminate(const core::Notification&)
{
    removeTemporaryFile();
}

void AQAudioStreamPlayer::removeTemporaryFile()
{
    if (m_temporaryFilePath.empty())
        return;
    m_writingHandle = nullptr;
    m_readingHandle = nullptr;
    core::fs::removeItem(m_temporaryFilePath);
}
