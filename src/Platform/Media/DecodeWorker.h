#pragma once

#include "Platform/Media/AudioDecoder.h"
#include "Platform/Media/AudioSink.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace media {

// The decoding thread of an output queue: takes copies of enqueued buffers
// in order, decodes their packets and hands the samples to the sink. The
// decoder is made on the thread with the cookie in force, and made again
// when the cookie changes.
class DecodeWorker {
public:
    struct Job {
        uint64_t epoch = 0;
        uint64_t bufferID = 0;
        std::vector<uint8_t> bytes;
        std::vector<AudioStreamPacketDescription> descriptions;
    };

    DecodeWorker(const AudioStreamBasicDescription& format, std::shared_ptr<AudioSink> sink);
    ~DecodeWorker();

    void setCookie(std::vector<uint8_t> cookie);
    void submit(Job job);
    // Drops the jobs not yet started; the next packets start afresh.
    void flush();
    // Waits until every submitted job was handed to the sink.
    void drain();

private:
    void run();
    void decode(Job& job);

    const AudioStreamBasicDescription m_format;
    std::shared_ptr<AudioSink> m_sink;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Job> m_jobs;
    std::vector<uint8_t> m_cookie;
    bool m_cookieChanged = false;
    bool m_reset = false;
    bool m_busy = false;
    bool m_quit = false;
    // The decoding thread's own.
    std::unique_ptr<AudioDecoder> m_decoder;
    bool m_decoderFailed = false;
    unsigned m_refusals = 0;
    std::vector<int16_t> m_samples;
    std::thread m_thread;
};

} // namespace media
