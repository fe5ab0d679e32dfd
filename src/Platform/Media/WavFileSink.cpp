#include "Platform/Media/WavFileSink.h"

#include "Platform/Core/Log.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace media {

namespace {

void putLE32(uint8_t* p, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        p[i] = uint8_t(value >> (8 * i));
}

void putLE16(uint8_t* p, uint16_t value)
{
    p[0] = uint8_t(value);
    p[1] = uint8_t(value >> 8);
}

bool writeAll(int fd, const void* data, size_t size, off_t offset)
{
    auto bytes = static_cast<const uint8_t*>(data);
    while (size) {
        const ssize_t written = pwrite(fd, bytes, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
        offset += written;
    }
    return true;
}

} // namespace

std::shared_ptr<WavFileSink> WavFileSink::create(std::string path, Pace pace)
{
    auto sink = std::shared_ptr<WavFileSink>(new WavFileSink(std::move(path)));
    sink->setPace(pace);
    return sink;
}

WavFileSink::WavFileSink(std::string path)
    : m_path(std::move(path))
{
}

WavFileSink::~WavFileSink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WavFileSink::open(const Format& format, Client* client, std::string* reason)
{
    ClockSink::open(format, client, reason);
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        if (reason)
            *reason = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_framesWritten = 0;
    writeHeader();
    return true;
}

void WavFileSink::close()
{
    ClockSink::close();
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int64_t WavFileSink::framesWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_framesWritten;
}

void WavFileSink::writeHeader()
{
    const uint32_t channels = format().channels;
    const auto rate = uint32_t(format().sampleRate);
    const uint64_t dataBytes = uint64_t(m_framesWritten) * channels * 2;
    uint8_t header[44];
    std::memcpy(header, "RIFF", 4);
    putLE32(header + 4, uint32_t(std::min<uint64_t>(36 + dataBytes, UINT32_MAX)));
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putLE32(header + 16, 16);
    putLE16(header + 20, 1);
    putLE16(header + 22, uint16_t(channels));
    putLE32(header + 24, rate);
    putLE32(header + 28, rate * channels * 2);
    putLE16(header + 32, uint16_t(channels * 2));
    putLE16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    putLE32(header + 40, uint32_t(std::min<uint64_t>(dataBytes, UINT32_MAX)));
    writeAll(m_fd, header, sizeof header, 0);
}

void WavFileSink::samplesDecoded(const int16_t* samples, size_t frames)
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0 || !frames)
        return;
    const size_t count = frames * format().channels;
    const float volume = this->volume();
    const int16_t* out = samples;
    if (volume < 1.0f) {
        m_scaled.resize(count);
        for (size_t i = 0; i < count; i++)
            m_scaled[i] = int16_t(std::lrint(samples[i] * volume));
        out = m_scaled.data();
    }
    const off_t at = off_t(44 + uint64_t(m_framesWritten) * format().channels * 2);
    if (!writeAll(m_fd, out, count * sizeof(int16_t), at)) {
        core::log("Warning, the WAV sink cannot write {}: {}", m_path, std::strerror(errno));
        return;
    }
    m_framesWritten += int64_t(frames);
    writeHeader();
}

} // namespace media
