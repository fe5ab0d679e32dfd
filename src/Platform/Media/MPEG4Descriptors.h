#pragma once

// The MPEG-4 descriptors that configure an AAC decoder: the elementary
// stream descriptor of MP4 'esds' boxes and CAF cookies, and the
// AudioSpecificConfig inside it.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace media {

struct AudioSpecificConfig {
    uint32_t objectType = 0;
    uint32_t samplingIndex = 0;
    double sampleRate = 0; // of the decoded output (SBR doubles it)
    uint32_t channelConfiguration = 0;
    std::vector<uint8_t> bytes;
};

// The DecoderSpecificInfo of an ES_Descriptor (tag 3) and the stream's
// object type indication (0x40 for MPEG-4 audio). False when malformed.
bool readESDescriptor(const uint8_t* p, size_t size, std::vector<uint8_t>& decoderSpecificInfo,
    uint8_t& objectTypeIndication);
bool readAudioSpecificConfig(const uint8_t* p, size_t size, AudioSpecificConfig& config);
// The AudioSpecificConfig bytes in a cookie that is either an
// ES_Descriptor or the config itself.
std::vector<uint8_t> audioSpecificConfigFromCookie(const uint8_t* p, size_t size);

} // namespace media
