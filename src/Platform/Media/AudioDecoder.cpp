#include "Platform/Media/AudioDecoder.h"

#include "Platform/Media/AACDecoder.h"
#include "Platform/Media/LinearPCMConverter.h"
#include "Platform/Media/MP3Decoder.h"

namespace media {

AudioDecoder::~AudioDecoder() = default;

std::unique_ptr<AudioDecoder> AudioDecoder::create(const AudioStreamBasicDescription& format,
    const std::vector<uint8_t>& cookie, Status* status)
{
    std::unique_ptr<AudioDecoder> decoder;
    if (format.sampleRate > 0 && format.sampleRate <= MaximumSampleRate && format.channelsPerFrame >= 1
        && format.channelsPerFrame <= MaximumChannels) {
        if (format.isLinearPCM())
            decoder = LinearPCMConverter::create(format);
        else if (format.formatID == formatID::MPEGLayer3)
            decoder = MP3Decoder::create(format);
        else if (format.formatID == formatID::MPEG4AAC)
            decoder = AACDecoder::create(format, cookie);
    }
    if (status)
        *status = decoder ? status::NoError : status::UnsupportedDataFormat;
    return decoder;
}

} // namespace media
