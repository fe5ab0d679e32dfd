// bench: tandry_audio tandry_platform_media tandry_test_support
// A 10-minute MP3 (made by lame) parsed and decoded through an output queue
// into a sink that plays each buffer as soon as it is decoded, against
// `mpg123 -q -t` on the same file in the same run (the target: at most 1.2
// times its time); and the same file streamed by the engine from the
// loopback server, for the peak RSS growth (the target: below 16 MiB).

#include "../PeerTiming.h"

#include "Platform/Core/FileHandle.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Media/AudioFileStream.h"
#include "Platform/Media/AudioQueue.h"
#include "Platform/Media/AudioSink.h"
#include "Platform/Media/NullSink.h"
#include "Support/Command.h"
#include "Support/TestWebServer.h"
#include "Audio/AQAudioStreamPlayer.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace {

// A scratch folder for the run, removed when the program ends.
const std::string& directory()
{
    static const struct Scratch {
        std::string path;
        Scratch()
        {
            std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-audio-XXXXXX";
            path = mkdtemp(pattern.data());
        }
        ~Scratch() { std::filesystem::remove_all(path); }
    } made;
    return made.path;
}

// Ten minutes of a rising tone, 44.1 kHz stereo at 128 kbit/s.
const std::string& longMP3()
{
    static const std::string path = [] {
        const std::string wav = directory() + "/long.wav";
        const std::string mp3 = directory() + "/long.mp3";
        test::runCommand({ "sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "600", "sine", "220-1760", "gain", "-3" });
        test::runCommand({ "lame", "--quiet", "-b", "128", wav, mp3 });
        std::filesystem::remove(wav);
        return mp3;
    }();
    return path;
}

double peakRSSMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Parses the file in reads of 64 KiB and keeps three buffers of 16 packets
// queued until everything has played.
double decodeThroughQueue(const std::string& path)
{
    using namespace media;
    auto file = core::FileHandle::fileHandleForReadingAtPath(path);
    std::shared_ptr<AudioQueue> queue;
    std::vector<AudioQueueBuffer*> free;
    AudioQueueBuffer* current = nullptr;
    std::vector<AudioStreamPacketDescription> descriptions;
    bool ended = false;
    auto flush = [&] {
        if (current && current->audioDataByteSize)
            queue->enqueueBuffer(current, uint32_t(descriptions.size()), descriptions.data());
        else if (current)
            free.push_back(current);
        current = nullptr;
        descriptions.clear();
    };
    std::unique_ptr<AudioFileStream> stream;
    stream = AudioFileStream::open(
        [&](AudioFileStream& s, FourCharCode id, uint32_t&) {
            if (id != property::ReadyToProducePackets)
                return;
            AudioStreamBasicDescription format;
            uint32_t size = sizeof format;
            s.getProperty(property::DataFormat, &size, &format);
            queue = AudioQueue::newOutput(format, [&](AudioQueue&, AudioQueueBuffer* b) {
                b->audioDataByteSize = 0;
                free.push_back(b);
            },
                nullptr, NullSink::create(NullSink::Pace::AsDecoded));
            queue->start();
        },
        [&](uint32_t, uint32_t packets, const void* data, const AudioStreamPacketDescription* d) {
            for (uint32_t i = 0; d && i < packets; i++) {
                if (!current) {
                    if (free.empty()) {
                        AudioQueueBuffer* made = nullptr;
                        queue->allocateBuffer(32768, &made);
                        free.push_back(made);
                    }
                    current = free.back();
                    free.pop_back();
                }
                std::memcpy(static_cast<uint8_t*>(current->audioData) + current->audioDataByteSize,
                    static_cast<const uint8_t*>(data) + d[i].startOffset, d[i].dataByteSize);
                descriptions.push_back({ int64_t(current->audioDataByteSize), d[i].variableFramesInPacket, d[i].dataByteSize });
                current->audioDataByteSize += d[i].dataByteSize;
                if (descriptions.size() == 16)
                    flush();
            }
        },
        fileType::MP3);
    return bench::seconds([&] {
        auto& loop = core::RunLoop::current();
        while (!ended) {
            while ((!queue || queue->enqueuedCount() < 3) && !ended) {
                const core::Data piece = file->readDataOfLength(65536);
                if (piece.empty()) {
                    flush();
                    ended = true;
                    break;
                }
                stream->parseBytes(piece.bytes(), piece.size());
            }
            loop.runUntil([&] { return !queue || queue->enqueuedCount() < 3; }, 10);
        }
        loop.runUntil([&] { return !queue || queue->enqueuedCount() == 0; }, 60);
        queue->dispose();
    });
}

void BM_DecodeTenMinuteMP3AgainstMpg123(benchmark::State& state)
{
    const std::string& path = longMP3();
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        ours += decodeThroughQueue(path);
        theirs += bench::peer("mpg123 -q -t '" + path + "'");
    }
    state.counters["ours_s"] = ours / double(state.iterations());
    state.counters["mpg123_s"] = theirs / double(state.iterations());
    state.counters["ratio"] = ours / theirs;
    bench::atMost("10-minute MP3 decoded / mpg123 -t", ours / theirs, 1.2, "x",
        fmt::format("{:.2f} s, mpg123 {:.2f} s", ours / double(state.iterations()), theirs / double(state.iterations())));
}
BENCHMARK(BM_DecodeTenMinuteMP3AgainstMpg123)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

struct Finished : AQAudioStreamPlayerDelegate {
    bool done = false;
    void audioStreamPlayerDidPreload(AQAudioStreamPlayer&) override { }
    void audioStreamPlayerDidFinishPlaying(AQAudioStreamPlayer&, bool) override { done = true; }
    void audioStreamPlayerErrorDidOccur(AQAudioStreamPlayer&, const core::Error&) override { done = true; }
};

void BM_StreamTenMinuteMP3FromLoopback(benchmark::State& state)
{
    const std::string& path = longMP3();
    test::TestWebServer::Options options;
    options.filesDirectory = directory();
    test::TestWebServer server(directory() + "/server", options);
    media::AudioSink::setDefaultFactoryForTesting([] { return media::NullSink::create(media::NullSink::Pace::AsDecoded); });
    core::paths::setHome(directory());
    const double before = peakRSSMiB();
    for (auto _ : state) {
        auto finished = std::make_shared<Finished>();
        auto player = AQAudioStreamPlayer::initWithURLRequest(core::URLRequest(*core::URL::parse(server.url("/files/long.mp3"))));
        player->setDelegate(finished.get());
        player->play();
        core::RunLoop::current().runUntil([&] { return finished->done; }, 300);
        if (!finished->done)
            state.SkipWithError("the stream did not end");
    }
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    bench::atMost("peak memory grown streaming it from loopback", peakRSSMiB() - before, 16, "MiB");
    state.counters["file_MiB"] = double(std::filesystem::file_size(path)) / (1 << 20);
}
BENCHMARK(BM_StreamTenMinuteMP3FromLoopback)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
