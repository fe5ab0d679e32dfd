#include "Platform/Media/AACDecoder.h"

#include "Platform/Core/Log.h"
#include "Platform/Media/MPEG4Descriptors.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace media {

struct AACDecoder::Codec {
    AVCodecContext* context = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
};

namespace {

int16_t toSample(float value)
{
    if (!std::isfinite(value))
        return 0;
    return int16_t(std::clamp(std::lrintf(value * 32768.0f), -32768L, 32767L));
}

} // namespace

std::unique_ptr<AACDecoder> AACDecoder::create(const AudioStreamBasicDescription& format,
    const std::vector<uint8_t>& cookie)
{
    if (format.formatID != formatID::MPEG4AAC)
        return nullptr;
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec)
        return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    if (!context)
        return nullptr;
    const auto config = audioSpecificConfigFromCookie(cookie.data(), cookie.size());
    if (!config.empty()) {
        context->extradata = static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (context->extradata) {
            std::memcpy(context->extradata, config.data(), config.size());
            context->extradata_size = int(config.size());
        }
    }
    context->sample_rate = int(format.sampleRate);
    av_channel_layout_default(&context->ch_layout, int(format.channelsPerFrame));
    if (avcodec_open2(context, codec, nullptr) < 0) {
        core::log("Warning, the AAC decoder cannot be opened for {} Hz, {} channels", format.sampleRate,
            format.channelsPerFrame);
        avcodec_free_context(&context);
        return nullptr;
    }
    auto* state = new Codec { context, av_packet_alloc(), av_frame_alloc() };
    return std::make_unique<AACDecoder>(format, state);
}

AACDecoder::AACDecoder(const AudioStreamBasicDescription& format, Codec* codec)
    : AudioDecoder(format)
    , m_codec(codec)
{
}

AACDecoder::~AACDecoder()
{
    av_frame_free(&m_codec->frame);
    av_packet_free(&m_codec->packet);
    avcodec_free_context(&m_codec->context);
    delete m_codec;
}

bool AACDecoder::decode(const uint8_t* data, size_t size, std::vector<int16_t>& out)
{
    if (!size || size > (size_t(1) << 20))
        return false;
    // libavcodec reads a little past the end of a packet.
    m_padded.assign(data, data + size);
    m_padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    AVPacket* packet = m_codec->packet;
    packet->data = m_padded.data();
    packet->size = int(size);
    if (avcodec_send_packet(m_codec->context, packet) < 0)
        return false;
    AVFrame* frame = m_codec->frame;
    int received;
    while ((received = avcodec_receive_frame(m_codec->context, frame)) == 0) {
        const int channels = frame->ch_layout.nb_channels;
        const int samples = frame->nb_samples;
        if (channels == int(m_channels) && frame->format == AV_SAMPLE_FMT_FLTP) {
            const size_t start = out.size();
            out.resize(start + size_t(samples) * size_t(channels));
            int16_t* target = out.data() + start;
            for (int c = 0; c < channels; c++) {
                const auto* plane = reinterpret_cast<const float*>(frame->extended_data[c]);
                for (int i = 0; i < samples; i++)
                    target[size_t(i) * size_t(channels) + size_t(c)] = toSample(plane[i]);
            }
        }
        av_frame_unref(frame);
    }
    packet->data = nullptr;
    packet->size = 0;
    return received == AVERROR(EAGAIN) || received == AVERROR_EOF;
}

void AACDecoder::reset()
{
    avcodec_flush_buffers(m_codec->context);
}

} // namespace media
