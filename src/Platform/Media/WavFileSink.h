#pragma once

#include "Platform/Media/ClockSink.h"

#include <mutex>
#include <string>

namespace media {

// A null sink that also writes what it is given to a 16-bit WAV file, with
// the volume applied: what a device would have been handed. The header's
// lengths are kept true after every buffer, so the file can be read while
// the queue still runs.
class WavFileSink final : public ClockSink {
public:
    static std::shared_ptr<WavFileSink> create(std::string path, Pace pace = Pace::Clock);
    ~WavFileSink() override;

    bool open(const Format& format, Client* client, std::string* reason) override;
    void close() override;

    const std::string& path() const { return m_path; }
    // Frames written so far (any thread).
    int64_t framesWritten() const;

private:
    explicit WavFileSink(std::string path);
    void samplesDecoded(const int16_t* samples, size_t frames) override;
    bool waitsForSamples() const override { return true; }
    void writeHeader();

    std::string m_path;
    mutable std::mutex m_mutex;
    int m_fd = -1;
    int64_t m_framesWritten = 0;
    std::vector<int16_t> m_scaled;
};

} // namespace media
