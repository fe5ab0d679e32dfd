#pragma once

#include "Platform/Media/ContainerParser.h"
#include "Platform/Media/PacketTable.h"

namespace media {

// MP4 and M4A files with an AAC track: the movie box ('moov') is read whole
// (bounded) for its first sound track's sample table, and the packets are
// cut from the media data by that table. A movie whose media data comes
// before the movie box cannot stream ('optm'); from a seekable source the
// media data is passed over and asked for again once the table is known.
class MP4Parser final : public ContainerParser {
public:
    MP4Parser(AudioFileStream& stream, StreamInfo& info, FourCharCode fileType);

    Result parse(const uint8_t* data, size_t size, uint64_t position) override;
    void discontinuity(uint64_t position) override;
    Status bytesToPacket(AudioBytePacketTranslation& t) const override;
    Status packetToFrame(AudioFramePacketTranslation& t) const override;
    Status frameToPacket(AudioFramePacketTranslation& t) const override;
    Status seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const override;
    int64_t requestedOffset() const override { return m_requested; }

private:
    Status readMovie(const uint8_t* p, size_t size);

    enum class State { Boxes, Movie, Packets };
    State m_state = State::Boxes;
    uint64_t m_movieSize = 0;
    bool m_mediaSeen = false;
    PacketTable m_table;
    size_t m_next = 0;
    int64_t m_requested = -1;
};

} // namespace media
