#include "Platform/Media/MPEG4Descriptors.h"

namespace media {

namespace {

constexpr uint32_t SamplingRates[13] = { 96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025,
    8000, 7350 };

// A descriptor's tag and length (one to four bytes of 7 bits).
bool readDescriptorHeader(const uint8_t*& p, const uint8_t* end, uint8_t& tag, size_t& length)
{
    if (p >= end)
        return false;
    tag = *p++;
    length = 0;
    for (int i = 0; i < 4; i++) {
        if (p >= end)
            return false;
        const uint8_t byte = *p++;
        length = length << 7 | (byte & 0x7F);
        if (!(byte & 0x80))
            return size_t(end - p) >= length;
    }
    return false;
}

class BitReader {
public:
    BitReader(const uint8_t* p, size_t size) : m_p(p), m_bits(size * 8) { }
    bool read(unsigned count, uint32_t& value)
    {
        if (m_at + count > m_bits)
            return false;
        value = 0;
        for (unsigned i = 0; i < count; i++, m_at++)
            value = value << 1 | ((m_p[m_at / 8] >> (7 - m_at % 8)) & 1);
        return true;
    }

private:
    const uint8_t* m_p;
    size_t m_bits;
    size_t m_at = 0;
};

bool readRate(BitReader& bits, uint32_t& index, double& rate)
{
    if (!bits.read(4, index))
        return false;
    if (index == 15) {
        uint32_t explicitRate;
        if (!bits.read(24, explicitRate))
            return false;
        rate = explicitRate;
        return true;
    }
    if (index >= 13)
        return false;
    rate = SamplingRates[index];
    return true;
}

bool readObjectType(BitReader& bits, uint32_t& type)
{
    if (!bits.read(5, type))
        return false;
    if (type == 31) {
        uint32_t extension;
        if (!bits.read(6, extension))
            return false;
        type = 32 + extension;
    }
    return true;
}

} // namespace

bool readESDescriptor(const uint8_t* p, size_t size, std::vector<uint8_t>& info, uint8_t& objectTypeIndication)
{
    const uint8_t* end = p + size;
    uint8_t tag;
    size_t length;
    if (!readDescriptorHeader(p, end, tag, length) || tag != 3 || length < 3)
        return false;
    end = p + length;
    const uint8_t flags = p[2];
    p += 3;
    if (flags & 0x80)
        p += 2;
    if (p > end)
        return false;
    if (flags & 0x40) {
        if (p >= end)
            return false;
        p += 1 + *p;
        if (p > end)
            return false;
    }
    if (flags & 0x20)
        p += 2;
    if (p > end)
        return false;
    if (!readDescriptorHeader(p, end, tag, length) || tag != 4 || length < 13)
        return false;
    const uint8_t* configEnd = p + length;
    objectTypeIndication = p[0];
    p += 13;
    while (p < configEnd) {
        if (!readDescriptorHeader(p, configEnd, tag, length))
            return false;
        if (tag == 5) {
            info.assign(p, p + length);
            return true;
        }
        p += length;
    }
    info.clear();
    return true;
}

bool readAudioSpecificConfig(const uint8_t* p, size_t size, AudioSpecificConfig& config)
{
    BitReader bits(p, size);
    if (!readObjectType(bits, config.objectType) || !readRate(bits, config.samplingIndex, config.sampleRate)
        || !bits.read(4, config.channelConfiguration))
        return false;
    if (config.objectType == 5 || config.objectType == 29) {
        // Spectral band replication: the output runs at the extension's rate.
        uint32_t index;
        double rate;
        if (!readRate(bits, index, rate) || !readObjectType(bits, config.objectType))
            return false;
        config.sampleRate = rate;
    }
    config.bytes.assign(p, p + size);
    return true;
}

std::vector<uint8_t> audioSpecificConfigFromCookie(const uint8_t* p, size_t size)
{
    if (size && p[0] == 3) {
        std::vector<uint8_t> info;
        uint8_t objectTypeIndication = 0;
        if (readESDescriptor(p, size, info, objectTypeIndication))
            return info;
        return {};
    }
    return std::vector<uint8_t>(p, p + size);
}

} // namespace media
