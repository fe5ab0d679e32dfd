#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <cstdlib>

// Skips the test when sox, lame, ffmpeg or mpg123 is missing; fails it
// where CI=true, since CI installs them.
#define TANDRY_REQUIRE_AUDIO_PEERS()                                               \
    do {                                                                           \
        if (!test::AudioFixtures::havePeers()) {                                   \
            if (std::getenv("CI"))                                                 \
                FAIL() << "sox, lame, ffmpeg and mpg123 are needed";               \
            GTEST_SKIP() << "sox, lame, ffmpeg or mpg123 missing";                 \
        }                                                                          \
    } while (false)

namespace test {

struct AudioTone {
    int rate = 44100;
    int channels = 2;
    int bits = 16;
    double seconds = 1.0;
    std::string encoding = "signed-integer"; // or "floating-point", "unsigned-integer"
};

// Audio files made for a test by peer programs (sox, lame, ffmpeg), in a
// folder of the test's home, and what peers read from files: ffprobe's
// view of a stream, and the samples mpg123 and ffmpeg decode.
class AudioFixtures {
public:
    explicit AudioFixtures(std::string directory);

    // Whether every peer the fixtures use is installed.
    static bool havePeers();

    using Tone = AudioTone;
    // A tone with a rising pitch by sox, in the format its extension names
    // ("wav", "aiff", "aifc"); AIFC takes sox's extra arguments, e.g.
    // {"-e", "floating-point"}.
    std::string tone(const std::string& name, const Tone& tone = {}, const std::vector<std::string>& extra = {});
    // An MP3 by lame from a tone, with lame's arguments ("-b", "128"; "-V",
    // "2"; "--add-id3v2").
    std::string mp3(const std::string& name, const std::vector<std::string>& lameArguments, const Tone& tone = {});
    // A file by ffmpeg from a tone, with ffmpeg's output arguments.
    std::string ffmpeg(const std::string& name, const std::vector<std::string>& arguments, const Tone& tone = {});
    // An AAC CAF file: ffmpeg's AAC packets and cookie (from an M4A it
    // makes) in a CAF container with a packet table, written here because
    // ffmpeg's CAF writer takes no AAC.
    std::string cafAAC(const std::string& name, const Tone& tone = {});

    const std::string& directory() const { return m_directory; }

private:
    std::string m_directory;
};

// What ffprobe reads of a file's first audio stream.
struct ProbeInfo {
    double sampleRate = 0;
    int channels = 0;
    double duration = 0;
    int64_t firstPacketPosition = -1;
    int64_t packetCount = 0;
    std::vector<int64_t> packetPositions;
    std::vector<int64_t> packetSizes;
};
ProbeInfo probe(const std::string& path);

// 16-bit interleaved samples: of a WAV file (our own writer's or a peer's),
// mpg123's --no-gapless decoding, ffmpeg's.
std::vector<int16_t> readWav16(const std::string& path, int* channels = nullptr, int* rate = nullptr);
std::vector<int16_t> mpg123Samples(const std::string& path, const std::string& scratch);
std::vector<int16_t> ffmpegSamples(const std::string& path);

// Where `ours` matches `theirs` sample for sample within `tolerance`, once
// `theirs` is taken to start `offset` frames into `ours` (0 ≤ offset ≤
// maxOffset); -1 when at no offset. Compares the frames both have.
int64_t alignedOffset(const std::vector<int16_t>& ours, const std::vector<int16_t>& theirs, int channels,
    int64_t maxOffset, int tolerance);

} // namespace test
