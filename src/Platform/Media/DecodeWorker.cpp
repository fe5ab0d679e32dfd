#include "Platform/Media/DecodeWorker.h"

#include "Platform/Core/Log.h"

#include <pthread.h>
#include <utility>

namespace media {

namespace {

// Refused packets are logged one line each, up to this many per stream.
constexpr unsigned MaximumRefusalLines = 20;

} // namespace

DecodeWorker::DecodeWorker(const AudioStreamBasicDescription& format, std::shared_ptr<AudioSink> sink)
    : m_format(format)
    , m_sink(std::move(sink))
{
    m_thread = std::thread([this] {
        pthread_setname_np(pthread_self(), "audio decode");
        run();
    });
}

DecodeWorker::~DecodeWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_jobs.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

void DecodeWorker::setCookie(std::vector<uint8_t> cookie)
{
    std::lock_guard lock(m_mutex);
    m_cookie = std::move(cookie);
    m_cookieChanged = true;
}

void DecodeWorker::submit(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void DecodeWorker::flush()
{
    std::lock_guard lock(m_mutex);
    m_jobs.clear();
    m_reset = true;
}

void DecodeWorker::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_quit || (m_jobs.empty() && !m_busy); });
}

void DecodeWorker::run()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_quit)
            break;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        const bool reset = std::exchange(m_reset, false);
        const bool remake = std::exchange(m_cookieChanged, false);
        const auto cookie = m_cookie;
        lock.unlock();
        if (remake || (!m_decoder && !m_decoderFailed)) {
            m_decoder = AudioDecoder::create(m_format, cookie);
            m_decoderFailed = !m_decoder;
            if (!m_decoder)
                core::log("Warning, no decoder for the audio format {}", fourCCString(m_format.formatID));
        } else if (reset && m_decoder) {
            m_decoder->reset();
        }
        decode(job);
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
    m_busy = false;
    m_idle.notify_all();
}

void DecodeWorker::decode(Job& job)
{
    m_samples.clear();
    if (m_decoder) {
        auto refused = [&](size_t index) {
            if (++m_refusals <= MaximumRefusalLines)
                core::log("Warning, the {} decoder refused packet {} of a buffer; skipped", fourCCString(m_format.formatID),
                    index);
        };
        if (job.descriptions.empty()) {
            if (!m_decoder->decode(job.bytes.data(), job.bytes.size(), m_samples))
                refused(0);
        } else {
            for (size_t i = 0; i < job.descriptions.size(); i++) {
                const auto& d = job.descriptions[i];
                if (d.startOffset < 0 || uint64_t(d.startOffset) + d.dataByteSize > job.bytes.size()) {
                    refused(i);
                    continue;
                }
                if (!m_decoder->decode(job.bytes.data() + d.startOffset, d.dataByteSize, m_samples))
                    refused(i);
            }
        }
    }
    const uint32_t channels = std::max<uint32_t>(m_format.channelsPerFrame, 1);
    m_sink->bufferDecoded(job.epoch, job.bufferID, m_samples.data(), m_samples.size() / channels);
}

} // namespace media
