#pragma once

// The part of the stream parser that knows one container. Only the stream
// parser's files include this header.

#include "Platform/Media/AudioFileStream.h"
#include "Platform/Media/AudioFormat.h"
#include "Platform/Media/PacketTable.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace media {

// What the stream has learnt about itself; the container parsers fill it in.
struct StreamInfo {
    FourCharCode fileType = 0;
    bool hasFormat = false;
    AudioStreamBasicDescription format;
    std::vector<uint8_t> magicCookie;
    int64_t dataOffset = -1;
    int64_t audioDataByteCount = -1;
    int64_t audioDataPacketCount = -1;
    uint32_t maximumPacketSize = 0;
    std::optional<AudioFilePacketTableInfo> packetTableInfo;
    // From the header, when the format states them (0: not stated).
    uint32_t bitRate = 0;
    double averageBytesPerPacket = 0;
    bool ready = false;
    // What went through the packets callback so far.
    uint64_t parsedPackets = 0;
    uint64_t parsedPacketBytes = 0;

    // Bytes a packet: as the header states, else constant, else the mean
    // of the packets parsed so far; 0 while unknown.
    double averagePacketSize() const
    {
        if (averageBytesPerPacket > 0)
            return averageBytesPerPacket;
        if (format.bytesPerPacket)
            return format.bytesPerPacket;
        return parsedPackets ? double(parsedPacketBytes) / double(parsedPackets) : 0;
    }
};

class ContainerParser {
public:
    // What one call made of the bytes: how many it consumed; how many after
    // those to skip unseen; or, consuming nothing, how many bytes from the
    // start it needs before it can go on.
    struct Result {
        size_t consumed = 0;
        uint64_t skip = 0;
        size_t needed = 0;
        Status status = status::NoError;
    };

    ContainerParser(AudioFileStream& stream, StreamInfo& info) : m_stream(stream), m_info(info) { }
    virtual ~ContainerParser();

    // `data` begins at file offset `position`.
    virtual Result parse(const uint8_t* data, size_t size, uint64_t position) = 0;
    // The bytes from `position` on do not follow the ones before.
    virtual void discontinuity(uint64_t position) { (void)position; }

    virtual Status bytesToPacket(AudioBytePacketTranslation& translation) const;
    virtual Status packetToFrame(AudioFramePacketTranslation& translation) const;
    virtual Status frameToPacket(AudioFramePacketTranslation& translation) const;
    // Byte offset of the packet after the data offset.
    virtual Status seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const;
    virtual int64_t requestedOffset() const { return -1; }
    void setSourceIsSeekable(bool seekable) { m_seekable = seekable; }

protected:
    void announce(FourCharCode propertyID);
    // Announces what the header told (format, cookie, counts, data offset)
    // and then that packets follow, in the platform's order.
    void becomeReady();
    // Rate and channel count within bounds.
    static bool acceptable(const AudioStreamBasicDescription& format);

    // Packets found in one parse call go out together: add them while the
    // bytes are valid, flush before the call returns.
    void addPacket(const uint8_t* packet, uint32_t size, uint32_t frames);
    void flushPackets();
    // Whole frames of constant-bit-rate data, without descriptions.
    void deliverFrames(const uint8_t* data, uint32_t bytes);

    // For containers with an index: the packets of the table whose bytes
    // are here, from packet `next` on (bytes between packets are skipped).
    Result parseTablePackets(const PacketTable& table, size_t& next, const uint8_t* data, size_t size,
        uint64_t position);
    // The translations and the seek by the table.
    static Status tableBytesToPacket(const PacketTable& table, int64_t dataOffset, AudioBytePacketTranslation& t);
    static Status tablePacketToFrame(const PacketTable& table, AudioFramePacketTranslation& t);
    static Status tableFrameToPacket(const PacketTable& table, AudioFramePacketTranslation& t);
    static Status tableSeek(const PacketTable& table, int64_t dataOffset, int64_t packet, int64_t& byteOffset);

    AudioFileStream& m_stream;
    StreamInfo& m_info;
    bool m_seekable = false;

private:
    const uint8_t* m_batchStart = nullptr;
    const uint8_t* m_batchEnd = nullptr;
    std::vector<AudioStreamPacketDescription> m_batch;
};

// A double as a 64-bit integer, saturated at the type's ends (NaN: 0);
// header fields multiplied by one another can exceed it.
inline int64_t saturatingInt64(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 9.2e18)
        return INT64_MAX;
    if (value <= -9.2e18)
        return INT64_MIN;
    return int64_t(value);
}

// Reads of fixed-width numbers.
inline uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
inline uint64_t be64(const uint8_t* p) { return uint64_t(be32(p)) << 32 | be32(p + 4); }
inline uint16_t le16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }
inline uint32_t le32(const uint8_t* p) { return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]; }
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p + 4)) << 32 | le32(p); }

} // namespace media
