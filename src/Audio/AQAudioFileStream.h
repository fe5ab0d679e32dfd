#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Object.h"
#include "Platform/Media/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace media {
class AudioFileStream;
}

class AQAudioFileStream;

// What the stream parser finds, in the order it finds it.
class AQAudioFileStreamDelegate {
public:
    virtual ~AQAudioFileStreamDelegate() = default;
    // Constant-bit-rate bytes (whole frames).
    virtual void didFindData(AQAudioFileStream&, std::string_view data) = 0;
    // One packet of variable size.
    virtual void didFindPacketData(AQAudioFileStream&, std::string_view data, uint32_t numFrames) = 0;
    virtual void fileStreamReadyToProducePackets(AQAudioFileStream&,
        const media::AudioStreamBasicDescription& basicDescription) = 0;
};

// The stream engine's hold on the platform's stream parser: bytes go in with
// the pending flags, packets come out to the delegate one by one (wrapping
// the parser's bytes, not copying them), and the properties the engine
// needs are read and translated here.
class AQAudioFileStream : public core::Object {
public:
    // The delegate is not retained; nullptr (logged) when the parser cannot
    // be opened.
    static std::shared_ptr<AQAudioFileStream> create(AQAudioFileStreamDelegate* delegate, media::FourCharCode fileTypeHint);
    ~AQAudioFileStream() override;

    void parseData(std::string_view data);
    void parseData(const core::Data& data) { parseData(data.view()); }
    // The next parse starts a new run of bytes (after a seek).
    void expectDiscontinuity();

    AQAudioFileStreamDelegate* delegate() const { return m_delegate; }
    // The flags the next parse passes.
    uint32_t flags() const { return m_flags; }
    uint64_t dataOffset() const { return m_dataOffset; }
    bool readyToProducePackets() const { return m_readyToProducePackets; }
    const media::AudioStreamBasicDescription& basicDescription() const { return m_basicDescription; }
    std::optional<core::Data> magicCookie() const;
    double averageBytesPerPacket() const;
    uint32_t bitRate() const;
    uint32_t maximumPacketSize() const;
    uint64_t audioByteCount() const;

    // Seconds at a byte offset into the audio data; -1 before the stream is
    // ready or at rate 0, or when a translation fails.
    double estimatedTimeForByteOffset(int64_t byteOffset) const;
    // The byte offset into the audio data for a time; -1 at rate 0 or when
    // the parser cannot tell.
    int64_t audioDataByteOffsetForSeekTime(double seekTime) const;
    // Reads the property's size, then its value (in and out for the
    // translations) into `value` of `size` bytes; false (logged) on failure.
    bool getFileStreamProperty(media::FourCharCode propertyID, void* value, uint32_t size) const;

    // The parser's property listener.
    void fileStreamDidFindProperty(media::FourCharCode propertyID);

    std::string description() const override;

    struct Private;
    AQAudioFileStream(const Private&, AQAudioFileStreamDelegate* delegate);

private:
    // The property's value, 0 when it cannot be read (logged).
    template<typename T> T propertyOrZero(media::FourCharCode propertyID) const
    {
        T value {};
        return getFileStreamProperty(propertyID, &value, sizeof value) ? value : T {};
    }
    void packetsFound(uint32_t bytes, uint32_t packets, const void* data,
        const media::AudioStreamPacketDescription* descriptions);

    AQAudioFileStreamDelegate* m_delegate;
    std::unique_ptr<media::AudioFileStream> m_audioFileStream;
    uint32_t m_flags = 0;
    media::AudioStreamBasicDescription m_basicDescription;
    bool m_readyToProducePackets = false;
    uint64_t m_dataOffset = 0;
};
