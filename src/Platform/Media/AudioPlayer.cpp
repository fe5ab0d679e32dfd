#include "Platform/Media/AudioPlayer.h"

#include "Platform/Core/FileHandle.h"
#include "Platform/Core/Log.h"
#include "Platform/Media/AudioFileStream.h"
#include "Platform/Media/AudioQueue.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <utility>

namespace media {

struct AudioPlayer::Private { };

namespace {

// Buffers the queue holds at once, and the least a compressed buffer takes.
constexpr size_t QueuedBuffers = 3;
constexpr uint32_t MinimumBufferSize = 32768;
constexpr size_t ReadSize = 65536;

} // namespace

std::shared_ptr<AudioPlayer> AudioPlayer::create(const core::URL& url, core::Error* error)
{
    auto player = std::make_shared<AudioPlayer>(Private(), url);
    if (!player->open(error))
        return nullptr;
    return player;
}

AudioPlayer::AudioPlayer(const Private&, core::URL url)
    : m_url(std::move(url))
{
}

AudioPlayer::~AudioPlayer()
{
    if (m_queue)
        m_queue->dispose();
}

std::string AudioPlayer::description() const
{
    return fmt::format("<media::AudioPlayer {}> {}", fmt::ptr(this), m_url.absoluteString());
}

// Reads the header (all of it, wherever the container keeps it) and the
// duration; the packets found on the way are read again when playing.
bool AudioPlayer::open(core::Error* error)
{
    if (!m_url.isFileURL()) {
        core::setError(error, core::Error(OSStatusErrorDomain, status::InvalidFile, "Not a file URL"));
        return false;
    }
    core::Error openError;
    m_file = core::FileHandle::fileHandleForReadingRegularFileAtPath(m_url.filePath(), &openError);
    if (!m_file) {
        core::setError(error, openError);
        return false;
    }
    m_stream = AudioFileStream::open([this](AudioFileStream&, FourCharCode id, uint32_t&) {
        if (id == property::ReadyToProducePackets)
            m_ready = true;
    },
        [this](uint32_t bytes, uint32_t packets, const void* data, const AudioStreamPacketDescription* d) {
            packetsFound(bytes, packets, data, d);
        },
        0);
    m_stream->setSourceIsSeekable(true);
    while (!m_ready) {
        const int64_t wanted = m_stream->requestedOffset();
        if (wanted >= 0)
            m_file->seekToFileOffset(uint64_t(wanted));
        const core::Data piece = m_file->readDataOfLength(ReadSize);
        if (piece.empty())
            break;
        const Status parsed = m_stream->parseBytes(piece.bytes(), piece.size(), wanted >= 0 ? uint32_t(AudioFileStream::Discontinuity) : 0u);
        if (parsed) {
            core::setError(error, core::Error(OSStatusErrorDomain, parsed, "The file's audio cannot be read"));
            return false;
        }
    }
    uint32_t size = sizeof m_format;
    if (!m_ready || m_stream->getProperty(property::DataFormat, &size, &m_format)) {
        core::setError(error, core::Error(OSStatusErrorDomain, status::UnsupportedFileType, "The file holds no audio"));
        return false;
    }
    if (m_stream->getPropertyInfo(property::MagicCookieData, &size) == status::NoError) {
        m_cookie.resize(size);
        m_stream->getProperty(property::MagicCookieData, &size, m_cookie.data());
    }
    size = sizeof m_dataOffset;
    m_stream->getProperty(property::DataOffset, &size, &m_dataOffset);
    measureDuration();
    m_ready = true;
    m_startTime = 0;
    return true;
}

// The packet table's valid frames, else the counts the header gives, else
// the packets counted through the whole file.
void AudioPlayer::measureDuration()
{
    const double rate = m_format.sampleRate;
    AudioFilePacketTableInfo info;
    uint32_t size = sizeof info;
    if (m_stream->getProperty(property::PacketTableInfo, &size, &info) == status::NoError && info.numberValidFrames > 0) {
        m_duration = double(info.numberValidFrames) / rate;
        return;
    }
    uint64_t packets = 0;
    size = sizeof packets;
    if (m_format.framesPerPacket && m_stream->getProperty(property::AudioDataPacketCount, &size, &packets) == status::NoError) {
        m_duration = double(packets) * m_format.framesPerPacket / rate;
        return;
    }
    int64_t frames = 0;
    const uint32_t framesPerPacket = m_format.framesPerPacket;
    auto counter = AudioFileStream::open([](AudioFileStream&, FourCharCode, uint32_t&) { },
        [&](uint32_t, uint32_t count, const void*, const AudioStreamPacketDescription* d) {
            for (uint32_t i = 0; d && i < count; i++)
                frames += d[i].variableFramesInPacket ? d[i].variableFramesInPacket : framesPerPacket;
            if (!d)
                frames += int64_t(count) * framesPerPacket;
        },
        0);
    counter->setSourceIsSeekable(true);
    m_file->seekToFileOffset(0);
    while (true) {
        const int64_t wanted = counter->requestedOffset();
        if (wanted >= 0)
            m_file->seekToFileOffset(uint64_t(wanted));
        const core::Data piece = m_file->readDataOfLength(1 << 18);
        if (piece.empty() || counter->parseBytes(piece.bytes(), piece.size(), wanted >= 0 ? uint32_t(AudioFileStream::Discontinuity) : 0u))
            break;
    }
    m_duration = double(frames) / rate;
}

bool AudioPlayer::makeQueue()
{
    if (m_queue)
        return true;
    std::weak_ptr<AudioPlayer> weak = std::static_pointer_cast<AudioPlayer>(shared_from_this());
    Status status = 0;
    m_queue = AudioQueue::newOutput(m_format, [weak](AudioQueue&, AudioQueueBuffer* buffer) {
        if (auto self = weak.lock())
            self->bufferDone(buffer);
    },
        &status);
    if (!m_queue) {
        core::log("Warning, the audio of {} cannot be played: {}", m_url.absoluteString(), fourCCString(uint32_t(status)));
        return false;
    }
    if (!m_cookie.empty())
        m_queue->setProperty(queueProperty::MagicCookie, m_cookie.data(), uint32_t(m_cookie.size()));
    m_queue->setVolume(m_volume);
    if (m_format.bytesPerFrame)
        m_bufferSize = std::max<uint32_t>(uint32_t(m_format.sampleRate * m_format.bytesPerFrame * 0.5), m_format.bytesPerFrame);
    else {
        uint32_t largest = 0;
        uint32_t size = sizeof largest;
        m_stream->getProperty(property::MaximumPacketSize, &size, &largest);
        m_bufferSize = std::max(MinimumBufferSize, largest * 2);
    }
    m_free.clear();
    m_framesEnqueued = 0;
    m_loopStarts.clear();
    return true;
}

bool AudioPlayer::prepareToPlay()
{
    if (m_queue)
        return true;
    if (!makeQueue())
        return false;
    // Start at the packet holding the position.
    AudioFramePacketTranslation translation;
    translation.frame = int64_t(m_startTime * m_format.sampleRate);
    uint32_t size = sizeof translation;
    int64_t packet = 0;
    if (m_startTime > 0 && m_stream->getProperty(property::FrameToPacket, &size, &translation) == status::NoError)
        packet = translation.packet;
    seekToPacket(packet);
    fill();
    return true;
}

void AudioPlayer::seekToPacket(int64_t packet)
{
    int64_t offset = 0;
    uint32_t flags = 0;
    if (m_stream->seek(packet, &offset, &flags) != status::NoError) {
        packet = 0;
        offset = 0;
        m_stream->seek(0, &offset, &flags);
    }
    AudioFramePacketTranslation translation;
    translation.packet = packet;
    uint32_t size = sizeof translation;
    if (m_stream->getProperty(property::PacketToFrame, &size, &translation) == status::NoError)
        m_startTime = double(translation.frame) / m_format.sampleRate;
    else
        m_startTime = 0;
    m_file->seekToFileOffset(uint64_t(m_dataOffset + offset));
    m_endOfFile = false;
    m_discontinuity = true;
}

AudioQueueBuffer* AudioPlayer::freeBuffer()
{
    if (!m_free.empty()) {
        auto* buffer = m_free.back();
        m_free.pop_back();
        return buffer;
    }
    AudioQueueBuffer* buffer = nullptr;
    if (m_queue->allocateBuffer(m_bufferSize, &buffer) != status::NoError)
        return nullptr;
    return buffer;
}

void AudioPlayer::packetsFound(uint32_t bytes, uint32_t packets, const void* data,
    const AudioStreamPacketDescription* descriptions)
{
    if (!m_queue)
        return;
    const auto* base = static_cast<const uint8_t*>(data);
    auto append = [&](const uint8_t* p, uint32_t length, uint32_t frames, bool describe) {
        if (m_current && m_current->audioDataByteSize + length > m_current->audioDataBytesCapacity)
            enqueueCurrent();
        if (!m_current && !(m_current = freeBuffer()))
            return;
        if (length > m_current->audioDataBytesCapacity)
            return;
        std::memcpy(static_cast<uint8_t*>(m_current->audioData) + m_current->audioDataByteSize, p, length);
        if (describe)
            m_descriptions.push_back({ int64_t(m_current->audioDataByteSize), frames, length });
        m_current->audioDataByteSize += length;
    };
    if (descriptions) {
        for (uint32_t i = 0; i < packets; i++)
            append(base + descriptions[i].startOffset, descriptions[i].dataByteSize, descriptions[i].variableFramesInPacket, true);
        return;
    }
    // Constant-bit-rate frames, cut to the buffers at frame boundaries.
    const uint32_t frame = std::max<uint32_t>(m_format.bytesPerPacket, 1);
    const uint32_t piece = std::max(frame, m_bufferSize / frame * frame);
    for (uint32_t at = 0; at < bytes; at += piece)
        append(base + at, std::min(piece, bytes - at), 0, false);
}

void AudioPlayer::enqueueCurrent()
{
    if (!m_current)
        return;
    AudioQueueBuffer* buffer = std::exchange(m_current, nullptr);
    if (!buffer->audioDataByteSize) {
        m_free.push_back(buffer);
        return;
    }
    int64_t frames = 0;
    for (const auto& d : m_descriptions)
        frames += d.variableFramesInPacket ? d.variableFramesInPacket : m_format.framesPerPacket;
    if (m_descriptions.empty() && m_format.bytesPerPacket)
        frames = buffer->audioDataByteSize / m_format.bytesPerPacket;
    if (m_queue->enqueueBuffer(buffer, uint32_t(m_descriptions.size()), m_descriptions.data()) == status::NoError)
        m_framesEnqueued += frames;
    else
        m_free.push_back(buffer);
    m_descriptions.clear();
}

// Keeps a few buffers queued; at the end of the file goes round again while
// loops remain.
void AudioPlayer::fill()
{
    if (!m_queue)
        return;
    auto self = shared_from_this();
    while (m_queue->enqueuedCount() < QueuedBuffers && !m_endOfFile) {
        const core::Data piece = m_file->readDataOfLength(std::max<size_t>(m_bufferSize, 16384));
        if (piece.empty()) {
            enqueueCurrent();
            // A pass that gave nothing ends the loops too.
            const bool empty = m_loopStarts.empty() ? m_framesEnqueued == 0 : m_loopStarts.back() == m_framesEnqueued;
            if (!empty && (m_numberOfLoops < 0 || m_loopsPlayed < m_numberOfLoops)) {
                m_loopsPlayed++;
                m_loopStarts.push_back(m_framesEnqueued);
                seekToPacket(0);
                continue;
            }
            m_endOfFile = true;
            break;
        }
        const uint32_t flags = std::exchange(m_discontinuity, false) ? uint32_t(AudioFileStream::Discontinuity) : 0u;
        const Status parsed = m_stream->parseBytes(piece.bytes(), piece.size(), flags);
        if (parsed) {
            fail(parsed);
            return;
        }
    }
    if (m_endOfFile && m_queue && m_queue->enqueuedCount() == 0)
        finish();
}

void AudioPlayer::bufferDone(AudioQueueBuffer* buffer)
{
    buffer->audioDataByteSize = 0;
    m_free.push_back(buffer);
    if (!m_queue || !m_queue->isRunning())
        return;
    if (m_playing)
        fill();
    else if (m_endOfFile && m_queue->enqueuedCount() == 0)
        finish();
}

double AudioPlayer::currentTime() const
{
    if (!m_queue || !m_format.sampleRate)
        return m_startTime;
    double frames = 0;
    m_queue->currentSampleTime(&frames);
    double base = m_startTime;
    double origin = 0;
    for (int64_t start : m_loopStarts) {
        if (frames < double(start))
            break;
        base = 0;
        origin = double(start);
    }
    return std::min(base + (frames - origin) / m_format.sampleRate, std::max(m_duration, base));
}

void AudioPlayer::setCurrentTime(double time)
{
    if (!std::isfinite(time))
        return;
    time = std::clamp(time, 0.0, m_duration);
    if (!m_queue) {
        m_startTime = time;
        return;
    }
    const bool wasPlaying = m_playing;
    m_playing = false;
    m_queue->stop(true);
    if (m_current) {
        m_current->audioDataByteSize = 0;
        m_free.push_back(std::exchange(m_current, nullptr));
    }
    m_descriptions.clear();
    m_framesEnqueued = 0;
    m_loopStarts.clear();
    AudioFramePacketTranslation translation;
    translation.frame = int64_t(time * m_format.sampleRate);
    uint32_t size = sizeof translation;
    int64_t packet = 0;
    if (m_stream->getProperty(property::FrameToPacket, &size, &translation) == status::NoError)
        packet = translation.packet;
    seekToPacket(packet);
    fill();
    if (wasPlaying) {
        m_playing = true;
        m_queue->start();
    }
}

bool AudioPlayer::play()
{
    if (m_playing)
        return true;
    // A file that breaks off while the first buffers fill lets the queue go.
    if (!prepareToPlay() || !m_queue)
        return false;
    m_playing = true;
    fill();
    if (!m_queue) {
        m_playing = false;
        return false;
    }
    m_queue->start();
    return true;
}

void AudioPlayer::pause()
{
    m_playing = false;
    if (m_queue)
        m_queue->pause();
}

void AudioPlayer::stop()
{
    const double time = currentTime();
    m_playing = false;
    if (m_queue) {
        auto queue = std::move(m_queue);
        queue->dispose();
    }
    m_current = nullptr;
    m_free.clear();
    m_descriptions.clear();
    m_startTime = time;
}

void AudioPlayer::finish()
{
    stop();
    m_startTime = 0;
    m_loopsPlayed = 0;
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerDidFinishPlaying(*this, true);
}

void AudioPlayer::fail(Status status)
{
    stop();
    if (auto delegate = m_delegate.lock())
        delegate->audioPlayerDecodeErrorDidOccur(*this,
            core::Error(OSStatusErrorDomain, status, "The audio cannot be decoded"));
}

void AudioPlayer::setVolume(float volume)
{
    m_volume = clampedVolume(volume);
    if (m_queue)
        m_queue->setVolume(m_volume);
}

} // namespace media
