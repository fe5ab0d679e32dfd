#pragma once

#include "Platform/Media/ContainerParser.h"

#include <array>

namespace media {

// Streams of bare frames: MPEG-1, 2 and 2.5 Layer III, and AAC in ADTS
// frames. Each frame is one packet (an ADTS frame keeps its header, which
// the decoder reads). The first frame is taken on trust at the start of the
// stream; after garbage or a discontinuity a frame counts only when the
// next frame's header follows it. A leading Xing, Info or VBRI frame tells
// the frame and byte counts (and the Xing seek table) and is not played.
class MPEGAudioParser final : public ContainerParser {
public:
    enum Kind { Layer3, ADTS };

    MPEGAudioParser(AudioFileStream& stream, StreamInfo& info, Kind kind);

    Result parse(const uint8_t* data, size_t size, uint64_t position) override;
    void discontinuity(uint64_t position) override;
    Status seek(int64_t packet, int64_t& byteOffset, uint32_t& flags) const override;

    struct Header {
        bool valid = false;
        uint32_t size = 0; // whole frame, header included
        uint32_t frames = 0;
        uint32_t sampleRate = 0;
        uint32_t channels = 0;
        uint32_t bitRate = 0; // bits per second (Layer III)
        // What must stay the same from frame to frame.
        uint32_t signature = 0;
        uint32_t sideInfoEnd = 0; // Layer III: where a Xing tag may start
        uint32_t objectType = 0; // ADTS
        uint32_t samplingIndex = 0;
        uint32_t channelConfiguration = 0;
    };
    static Header layer3Header(const uint8_t* p);
    static Header adtsHeader(const uint8_t* p);

private:
    size_t headerLength() const { return m_kind == ADTS ? 7 : 4; }
    Header header(const uint8_t* p) const { return m_kind == ADTS ? adtsHeader(p) : layer3Header(p); }
    // Reads a Xing/Info/VBRI tag in the frame; true when it is one.
    bool readTag(const uint8_t* frame, const Header& header, uint64_t position);
    void setFormat(const Header& header);

    Kind m_kind;
    bool m_synced = false;
    // The next bytes begin a frame that needs no confirmation.
    bool m_trustNext = true;
    uint32_t m_signature = 0;
    uint32_t m_largestFrame = 0;
    // The Xing tag: its frame's offset, byte count and table.
    bool m_hasTable = false;
    bool m_variable = false;
    uint64_t m_tagFramePosition = 0;
    uint64_t m_tagBytes = 0;
    int64_t m_tagFrames = 0;
    std::array<uint8_t, 100> m_table {};
};

} // namespace media
