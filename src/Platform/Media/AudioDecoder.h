#pragma once

#include "Platform/Media/AudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace media {

// Turns a stream's packets into 16-bit interleaved PCM at the stream's rate
// and channel count: linear PCM converted, MP3 through libmpg123, AAC
// through libavcodec. One decoder belongs to one thread at a time.
class AudioDecoder {
public:
    // A decoder for the format (and its magic cookie); nullptr, with the
    // status, for a format none of them reads.
    static std::unique_ptr<AudioDecoder> create(const AudioStreamBasicDescription& format,
        const std::vector<uint8_t>& cookie, Status* status = nullptr);
    virtual ~AudioDecoder();

    // Appends the samples of one packet (or of whole frames of linear PCM)
    // to `out`. False when the decoder refuses the packet: nothing is
    // appended and the stream goes on with the next one.
    virtual bool decode(const uint8_t* data, size_t size, std::vector<int16_t>& out) = 0;
    // The packets from now on do not follow the ones before (a seek).
    virtual void reset() = 0;

    uint32_t channels() const { return m_channels; }
    double sampleRate() const { return m_sampleRate; }

protected:
    AudioDecoder(const AudioStreamBasicDescription& format)
        : m_channels(format.channelsPerFrame)
        , m_sampleRate(format.sampleRate)
    {
    }

    uint32_t m_channels;
    double m_sampleRate;
};

} // namespace media
