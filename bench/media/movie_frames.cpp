// bench: tandry_platform_movie tandry_test_support_movie
// A 10-second 1280 × 720 clip at 30 frames a second (H.264 made by
// gst-launch-1.0) decoded into the movie view's layer without waiting for
// the clock, frames counted as the main loop takes them, against
// `gst-launch-1.0 filesrc ! decodebin ! videoconvert ! BGRx ! fakesink
// sync=false` on the same file in the same run (the target: at least 0.8
// times its frame rate, "vs_gst_launch"); and ten open-play-close cycles
// of the clip, for the resident size after each ("rss_growth_MiB" from the
// second cycle to the tenth: the target is flat, at most two 720p frames
// worth, 8 MiB). At least 98 % of the clip's frames must reach the layer.

#include "../PeerTiming.h"

#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SystemClock.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/UI/Screen.h"
#include "Support/Movie/MovieClips.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <string>

namespace {

constexpr int ClipFrames = 300;

// A scratch folder for the run, removed when the program ends.
const std::string& directory()
{
    static const struct Scratch {
        std::string path;
        Scratch()
        {
            std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-movie-XXXXXX";
            path = mkdtemp(pattern.data());
        }
        ~Scratch() { std::filesystem::remove_all(path); }
    } made;
    return made.path;
}

const std::string& clip()
{
    static const std::string path = test::MovieClips(directory()).large("720p.mp4", 1280, 720, ClipFrames / 30.0);
    return path;
}

void setUp()
{
    static bool done = [] {
        core::paths::setHome(directory());
        core::RunLoop::setMainThread();
        core::RunLoop::main().setClock(core::SystemClock::shared());
        // A tablet's screen at scale 2 takes 720p whole.
        ui::Screen::main()->setBounds({ 0, 0, 768, 1024 });
        ui::Screen::main()->setScale(2);
        media::GStreamerMovieEngine::setUnsynchronizedForTesting(true);
        return true;
    }();
    (void)done;
}

double residentMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

struct Played {
    double seconds = 0;
    uint64_t presented = 0;
    uint64_t dropped = 0;
    bool ended = false;
};

// Plays the file to its end as fast as it decodes.
Played playThrough(const std::string& path)
{
    auto player = std::make_shared<media::MoviePlayerController>(path);
    player->view();
    player->setShouldAutoplay(true);
    Played played;
    auto& loop = core::RunLoop::main();
    played.seconds = bench::seconds([&] {
        player->prepareToPlay();
        loop.runUntil([&] { return player->loadState() & media::MovieLoadStatePlayable; }, 20);
        player->play();
        played.ended = loop.runUntil([&] { return player->playbackState() == media::MoviePlaybackState::Stopped
                                                 && player->loadState() == media::MovieLoadStateUnknown; },
            60);
    });
    played.presented = player->presentedFrames();
    played.dropped = player->droppedFrames();
    return played;
}

void BM_DecodeIntoTheLayerAgainstGstLaunch(benchmark::State& state)
{
    setUp();
    const std::string& path = clip();
    if (path.empty()) {
        state.SkipWithError("gst-launch-1.0 could not make the clip");
        return;
    }
    double ours = 0, theirs = 0;
    uint64_t presented = 0, dropped = 0;
    for (auto _ : state) {
        Played played = playThrough(path);
        if (!played.ended)
            bench::wrongAnswer("the clip did not end");
        ours += played.seconds;
        presented += played.presented;
        dropped += played.dropped;
        theirs += bench::peer("gst-launch-1.0 -q filesrc location='" + path
            + "' ! decodebin ! videoconvert ! video/x-raw,format=BGRx ! fakesink sync=false");
    }
    double runs = double(state.iterations());
    state.counters["ours_fps"] = double(presented) / ours;
    state.counters["gst_launch_fps"] = ClipFrames * runs / theirs;
    state.counters["vs_gst_launch"] = (double(presented) / ours) / (ClipFrames * runs / theirs);
    state.counters["presented"] = double(presented) / runs;
    state.counters["dropped"] = double(dropped) / runs;
    bench::atLeast("frame rate / gst-launch decodebin", (double(presented) / ours) / (ClipFrames * runs / theirs), 0.8,
        "x", fmt::format("{:.0f} frames/s, gst-launch {:.0f}", double(presented) / ours, ClipFrames * runs / theirs));
    bench::atLeast("frames presented", 100.0 * double(presented) / runs / ClipFrames, 98, "%",
        fmt::format("{:.0f} of {} a run, {:.0f} dropped", double(presented) / runs, ClipFrames, double(dropped) / runs));
}
BENCHMARK(BM_DecodeIntoTheLayerAgainstGstLaunch)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_TenOpenPlayCloseCycles(benchmark::State& state)
{
    setUp();
    const std::string& path = clip();
    if (path.empty()) {
        state.SkipWithError("gst-launch-1.0 could not make the clip");
        return;
    }
    std::vector<double> resident;
    for (auto _ : state) {
        for (int cycle = 0; cycle < 10; ++cycle) {
            playThrough(path);
            core::RunLoop::main().runUntilIdle();
            resident.push_back(residentMiB());
        }
    }
    state.counters["rss_after_first_MiB"] = resident.front();
    state.counters["rss_after_second_MiB"] = resident[1];
    state.counters["rss_after_tenth_MiB"] = resident.back();
    state.counters["rss_growth_MiB"] = resident.back() - resident[1];
    bench::atMost("resident size grown, cycle 2 to 10", resident.back() - resident[1], 8, "MiB",
        fmt::format("{:.0f} MiB after the first cycle, {:.0f} after the tenth", resident.front(), resident.back()));
}
BENCHMARK(BM_TenOpenPlayCloseCycles)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
