#include "Platform/Media/MP3Decoder.h"

#include "Platform/Core/Log.h"

#include <mpg123.h>
#include <mutex>

namespace media {

struct MP3Decoder::Handle {
    mpg123_handle* mh = nullptr;
};

std::unique_ptr<MP3Decoder> MP3Decoder::create(const AudioStreamBasicDescription& format)
{
    if (format.formatID != formatID::MPEGLayer3 || format.channelsPerFrame < 1 || format.channelsPerFrame > 2)
        return nullptr;
    static std::once_flag initialized;
    std::call_once(initialized, [] { mpg123_init(); });
    int error = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &error);
    if (!mh) {
        core::log("Warning, mpg123_new failed: {}", mpg123_plain_strerror(error));
        return nullptr;
    }
    auto decoder = std::make_unique<MP3Decoder>(format, new Handle { mh });
    if (!decoder->open())
        return nullptr;
    return decoder;
}

MP3Decoder::MP3Decoder(const AudioStreamBasicDescription& format, Handle* handle)
    : AudioDecoder(format)
    , m_handle(handle)
{
}

MP3Decoder::~MP3Decoder()
{
    mpg123_close(m_handle->mh);
    mpg123_delete(m_handle->mh);
    delete m_handle;
}

bool MP3Decoder::open()
{
    mpg123_handle* mh = m_handle->mh;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_format_none(mh);
    const int channels = m_channels == 1 ? MPG123_MONO : MPG123_STEREO;
    if (mpg123_format(mh, long(m_sampleRate), channels, MPG123_ENC_SIGNED_16) != MPG123_OK
        || mpg123_open_feed(mh) != MPG123_OK) {
        core::log("Warning, mpg123 cannot decode {} Hz, {} channels: {}", m_sampleRate, m_channels, mpg123_strerror(mh));
        return false;
    }
    return true;
}

bool MP3Decoder::decode(const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    mpg123_handle* mh = m_handle->mh;
    if (mpg123_feed(mh, data, size) != MPG123_OK)
        return false;
    bool good = true;
    while (true) {
        off_t frame = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(mh, &frame, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result == MPG123_NEED_MORE)
            break;
        if (result != MPG123_OK) {
            good = false;
            break;
        }
        const auto* samples = reinterpret_cast<const int16_t*>(audio);
        out.insert(out.end(), samples, samples + bytes / sizeof(int16_t));
    }
    return good;
}

void MP3Decoder::reset()
{
    mpg123_close(m_handle->mh);
    open();
}

} // namespace media
