#pragma once

#include "Platform/Media/AudioDecoder.h"

namespace media {

// MPEG Layer III through libmpg123's feed interface: packets go in as they
// come, gapless trimming off, so every frame gives its whole frame count.
class MP3Decoder final : public AudioDecoder {
public:
    static std::unique_ptr<MP3Decoder> create(const AudioStreamBasicDescription& format);
    ~MP3Decoder() override;

    bool decode(const uint8_t* data, size_t size, std::vector<int16_t>& out) override;
    void reset() override;

    struct Handle;
    MP3Decoder(const AudioStreamBasicDescription& format, Handle* handle);

private:
    bool open();

    Handle* m_handle;
};

} // namespace media
