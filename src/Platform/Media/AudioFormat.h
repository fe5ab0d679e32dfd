#pragma once

// The shapes audio takes between the stream parser, the output queues and the
// decoders: four-character codes, the basic description of a stream and the
// description of one packet, laid out as the system's stored values and its
// callers expect them (a packet description is 16 bytes).

#include <cstdint>
#include <string>
#include <string_view>

namespace media {

using FourCharCode = uint32_t;
// A status as the audio services report it: 0 for success, otherwise a
// four-character code or a small negative number.
using Status = int32_t;

constexpr FourCharCode fourCC(const char (&code)[5])
{
    return (FourCharCode(uint8_t(code[0])) << 24) | (FourCharCode(uint8_t(code[1])) << 16)
        | (FourCharCode(uint8_t(code[2])) << 8) | FourCharCode(uint8_t(code[3]));
}

// "WAVE" for 'WAVE'; bytes that are not printable show as a decimal number.
std::string fourCCString(FourCharCode code);

// File types, the parser's hint.
namespace fileType {
inline constexpr FourCharCode MP3 = fourCC("MPG3");
inline constexpr FourCharCode WAVE = fourCC("WAVE");
inline constexpr FourCharCode AIFC = fourCC("AIFC");
inline constexpr FourCharCode AIFF = fourCC("AIFF");
inline constexpr FourCharCode M4A = fourCC("m4af");
inline constexpr FourCharCode MPEG4 = fourCC("mp4f");
inline constexpr FourCharCode CAF = fourCC("caff");
inline constexpr FourCharCode ADTS = fourCC("adts");
} // namespace fileType

// Formats of the data.
namespace formatID {
inline constexpr FourCharCode LinearPCM = fourCC("lpcm");
inline constexpr FourCharCode MPEGLayer3 = fourCC(".mp3");
inline constexpr FourCharCode MPEG4AAC = fourCC("aac ");
} // namespace formatID

// Flags of linear PCM.
namespace formatFlag {
inline constexpr uint32_t IsFloat = 1u << 0;
inline constexpr uint32_t IsBigEndian = 1u << 1;
inline constexpr uint32_t IsSignedInteger = 1u << 2;
inline constexpr uint32_t IsPacked = 1u << 3;
} // namespace formatFlag

// Stream properties the parser answers.
namespace property {
inline constexpr FourCharCode ReadyToProducePackets = fourCC("redy");
inline constexpr FourCharCode FileFormat = fourCC("ffmt");
inline constexpr FourCharCode DataFormat = fourCC("dfmt");
inline constexpr FourCharCode MagicCookieData = fourCC("mgic");
inline constexpr FourCharCode AudioDataByteCount = fourCC("bcnt");
inline constexpr FourCharCode AudioDataPacketCount = fourCC("pcnt");
inline constexpr FourCharCode MaximumPacketSize = fourCC("psze");
inline constexpr FourCharCode DataOffset = fourCC("doff");
inline constexpr FourCharCode BitRate = fourCC("brat");
inline constexpr FourCharCode AverageBytesPerPacket = fourCC("abpp");
inline constexpr FourCharCode PacketTableInfo = fourCC("pnfo");
inline constexpr FourCharCode ByteToPacket = fourCC("bypk");
inline constexpr FourCharCode PacketToFrame = fourCC("pkfr");
inline constexpr FourCharCode FrameToPacket = fourCC("frpk");
} // namespace property

// Statuses of the parser and the queues.
namespace status {
inline constexpr Status NoError = 0;
inline constexpr Status UnsupportedFileType = Status(fourCC("typ?"));
inline constexpr Status UnsupportedDataFormat = Status(fourCC("fmt?"));
inline constexpr Status UnsupportedProperty = Status(fourCC("pty?"));
inline constexpr Status BadPropertySize = Status(fourCC("!siz"));
inline constexpr Status NotOptimized = Status(fourCC("optm"));
inline constexpr Status InvalidPacketOffset = Status(fourCC("pck?"));
inline constexpr Status InvalidFile = Status(fourCC("dta?"));
inline constexpr Status DataUnavailable = Status(fourCC("more"));
inline constexpr Status ValueUnknown = Status(fourCC("unk?"));
inline constexpr Status IllegalOperation = Status(fourCC("nope"));
inline constexpr Status InvalidParameter = -50;
inline constexpr Status QueueInvalidBuffer = -66687;
inline constexpr Status QueueBufferEmpty = -66686;
inline constexpr Status QueueDisposalPending = -66685;
inline constexpr Status QueueInvalidProperty = -66684;
inline constexpr Status QueueInvalidParameter = -66682;
inline constexpr Status QueueInvalidDevice = -66680;
} // namespace status

// Properties and parameters of an output queue.
namespace queueProperty {
inline constexpr FourCharCode IsRunning = fourCC("aqrn");
inline constexpr FourCharCode MagicCookie = fourCC("aqmc");
inline constexpr FourCharCode StreamDescription = fourCC("aqft");
} // namespace queueProperty

// The description of a stream: what one packet, one frame and one sample
// are. Compressed formats have 0 bytes per frame; variable-size packets 0
// bytes per packet.
struct AudioStreamBasicDescription {
    double sampleRate = 0;
    uint32_t formatID = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;
    uint32_t reserved = 0;

    bool operator==(const AudioStreamBasicDescription&) const = default;
    bool isLinearPCM() const { return formatID == formatID::LinearPCM; }
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

// Where one packet lies in a block of packet data: its start offset, its
// frame count when packets vary (0 otherwise) and its size.
struct AudioStreamPacketDescription {
    int64_t startOffset = 0;
    uint32_t variableFramesInPacket = 0;
    uint32_t dataByteSize = 0;
};
static_assert(sizeof(AudioStreamPacketDescription) == 16);

// The frames of an encoded stream that are real audio: the packet table's
// valid frames with the encoder's priming and remainder frames around them.
struct AudioFilePacketTableInfo {
    int64_t numberValidFrames = 0;
    int32_t primingFrames = 0;
    int32_t remainderFrames = 0;
};

// In-out values of the translation properties.
struct AudioBytePacketTranslation {
    int64_t byte = 0;
    int64_t packet = 0;
    uint32_t byteOffsetInPacket = 0;
    uint32_t flags = 0; // 1: the answer is an estimate
};
struct AudioFramePacketTranslation {
    int64_t frame = 0;
    int64_t packet = 0;
    uint32_t frameOffsetInPacket = 0;
};

inline constexpr uint32_t BytePacketTranslationFlagIsEstimate = 1;

// Bounds every parser and decoder keeps to.
inline constexpr double MaximumSampleRate = 384000;
inline constexpr uint32_t MaximumChannels = 8;

} // namespace media
