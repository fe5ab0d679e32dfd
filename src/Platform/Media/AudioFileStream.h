#pragma once

#include "Platform/Media/AudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace media {

class ContainerParser;
struct StreamInfo;

// The stream parser: an audio file's bytes are pushed in as they arrive, in
// pieces of any size, and come out as packets ready for an output queue,
// with the stream's properties announced to a listener as they become known.
//
// The container is recognised from the bytes (MP3, ADTS AAC, WAV, AIFF and
// AIFC, CAF, MP4/M4A); the hint settles only what the bytes leave open.
// Lengths in the file are checked before anything is allocated for them;
// bodies the parser does not need are skipped as they arrive, never held.
//
// Callbacks run inside parseBytes(), on the caller's thread; the packet
// bytes they are given are valid only during the call.
class AudioFileStream {
public:
    enum ParseFlag : uint32_t {
        // The bytes do not follow the previous ones (after a seek): drop
        // what was held back and find the packets' boundaries again.
        Discontinuity = 1,
    };
    enum SeekFlag : uint32_t { OffsetIsEstimated = 1 };
    // Set by the parser in the listener's flags when a property's value is
    // being cached (as the platform does; nothing here reads it).
    enum PropertyFlag : uint32_t { PropertyIsCached = 1, CacheProperty = 2 };

    using PropertyListener = std::function<void(AudioFileStream&, FourCharCode propertyID, uint32_t& flags)>;
    // Packets in one run of bytes. Without descriptions the bytes are whole
    // frames of a constant-bit-rate format.
    using PacketsHandler = std::function<void(uint32_t numberBytes, uint32_t numberPackets, const void* data,
        const AudioStreamPacketDescription* descriptions)>;

    // Bounds on what one file may make the parser hold.
    static constexpr size_t MaximumTableSize = size_t(64) << 20;
    static constexpr size_t MaximumHeaderChunkSize = size_t(1) << 20;

    static std::unique_ptr<AudioFileStream> open(PropertyListener listener, PacketsHandler packets,
        FourCharCode fileTypeHint, Status* status = nullptr);
    ~AudioFileStream();
    AudioFileStream(const AudioFileStream&) = delete;
    AudioFileStream& operator=(const AudioFileStream&) = delete;

    // Parses the bytes. An error that makes the rest of the file unreadable
    // (an unsupported format, a table too large, a movie whose index comes
    // after its media) is answered again for every later call.
    Status parseBytes(const void* data, size_t size, uint32_t flags = 0);

    // The platform's property interface: the size of a property's value, and
    // the value into `data` (at most `ioSize` bytes; ioSize becomes the size
    // written). The translations ('bypk', 'pkfr', 'frpk') read their input
    // from `data` and write the answer into it.
    Status getPropertyInfo(FourCharCode propertyID, uint32_t* size, bool* writable = nullptr) const;
    Status getProperty(FourCharCode propertyID, uint32_t* ioSize, void* data) const;

    // The byte offset in the audio data (after 'doff') where the packet
    // begins. The next bytes parsed with Discontinuity are taken to start
    // there.
    Status seek(int64_t packetOffset, int64_t* dataByteOffset, uint32_t* flags);

    // For readers that can move in their source (a local file): a movie or
    // CAF file whose table follows its audio cannot be streamed and fails
    // with 'optm', unless the source is seekable: then the parser skips the
    // audio, reads the table and asks for the audio again through
    // requestedOffset(), which the reader feeds from, with Discontinuity.
    void setSourceIsSeekable(bool seekable);
    // The file offset the parser wants next, or -1.
    int64_t requestedOffset() const;
    // The absolute file offset of the next byte the parser expects.
    uint64_t position() const { return m_position; }

    struct Private;
    AudioFileStream(const Private&, PropertyListener listener, PacketsHandler packets, FourCharCode hint);

private:
    friend class ContainerParser;
    Status choose(const uint8_t* data, size_t size, bool& needMore);
    Status run(const uint8_t* data, size_t size, size_t& used);
    void announce(FourCharCode propertyID);
    void deliver(const uint8_t* data, uint32_t bytes, const AudioStreamPacketDescription* descriptions,
        uint32_t count);

    PropertyListener m_listener;
    PacketsHandler m_packets;
    FourCharCode m_hint;
    std::unique_ptr<StreamInfo> m_info;
    std::unique_ptr<ContainerParser> m_parser;
    std::vector<uint8_t> m_pending;
    uint64_t m_position = 0;
    uint64_t m_skip = 0;
    size_t m_needed = 0;
    int64_t m_seekPosition = -1;
    bool m_seekable = false;
    Status m_failure = status::NoError;
};

} // namespace media
