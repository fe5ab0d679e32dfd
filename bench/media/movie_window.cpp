// tool: tandry_platform_movie tandry_platform_host tandry_platform_web
// The movie player full screen in the desktop window (320 × 480 points,
// one pixel each), for bench/media/movie_play.sh: plays FILE to its end and
// prints "played PRESENTED DROPPED DRAWS CPU" (frames shown, frames
// replaced before the main loop took them, the window's draws, and the
// process's CPU seconds from play to end, without its start-up). With --pause it
// pauses after one second, holds the pause for two and prints "paused
// PRESENTED DRAWS" counted over the pause only, then ends. Sound goes to a
// fakesink that keeps the clock. With --home the program's home is DIR,
// kept, as the program's own is from launch to launch. With --process the
// movie plays in the movie process PROGRAM (tandry-movie), as in the
// program, and the CPU seconds count that process's too, its start-up
// among them.
//
//   movie_window FILE [--pause] [--home DIR] [--process PROGRAM]

#include "../WindowBench.h"

#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/SystemClock.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Media/Movie/GStreamerMovieEngine.h"
#include "Platform/Media/Movie/MoviePlayerController.h"
#include "Platform/Media/Movie/MovieView.h"
#include "Platform/Media/Movie/RemoteMovieEngine.h"
#include "Platform/UI/Application.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [--pause] [--home DIR]\n", argv[0]);
        return 2;
    }
    bool pauses = false;
    std::string home, program;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pause") == 0)
            pauses = true;
        else if (std::strcmp(argv[i], "--home") == 0 && i + 1 < argc)
            home = argv[++i];
        else if (std::strcmp(argv[i], "--process") == 0 && i + 1 < argc)
            program = argv[++i];
    }
    // A home of its own, removed at the end, unless one is given to be kept
    // from launch to launch as the program's is.
    bool ownHome = home.empty();
    if (ownHome) {
        home = (std::filesystem::temp_directory_path() / "tandry-movie-window-XXXXXX").string();
        if (!mkdtemp(home.data()))
            return 3;
    }
    auto application = bench::beginWindowBench(home, { 320, 480 });
    if (!application)
        return 3;
    auto& loop = core::RunLoop::main();
    gfx::setTextEngine(gfx::makePangoTextEngine());
    media::GStreamerMovieEngine::setSilent(true);
    if (!program.empty())
        media::MovieEngine::setFactory([program] { return std::make_unique<media::RemoteMovieEngine>(program); });

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto player = std::make_shared<media::MoviePlayerController>(argv[1]);
    player->setControlStyle(media::MovieControlStyle::None);
    player->view()->setFrame(window->bounds());
    window->addSubview(player->view());
    auto host = ui::WindowHost::open({ "Movie", {}, {} });
    if (!host)
        return 4;
    player->prepareToPlay();
    if (!loop.runUntil([&] { return player->loadState() & media::MovieLoadStatePlayable; }, 20))
        return 5;
    auto cpu = [] {
        double seconds = 0;
        for (int who : { RUSAGE_SELF, RUSAGE_CHILDREN }) {
            rusage usage {};
            getrusage(who, &usage);
            seconds += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
        return seconds;
    };
    double cpuAtStart = cpu();
    player->play();
    if (pauses) {
        loop.runUntil([] { return false; }, 1.0);
        player->pause();
        // Past the frame that may be on its way when the pause comes.
        loop.runUntil([] { return false; }, 0.2);
        uint64_t presented = player->presentedFrames(), draws = host->drawCountForTesting();
        loop.runUntil([] { return false; }, 2.0);
        std::printf("paused %llu %llu\n", static_cast<unsigned long long>(player->presentedFrames() - presented),
            static_cast<unsigned long long>(host->drawCountForTesting() - draws));
    } else {
        loop.runUntil([&] { return player->playbackState() == media::MoviePlaybackState::Stopped
                                   && player->loadState() == media::MovieLoadStateUnknown; },
            120);
        auto presented = player->presentedFrames(), dropped = player->droppedFrames();
        auto draws = host->drawCountForTesting();
        // The movie process's time is counted once it is reaped.
        player.reset();
        std::printf("played %llu %llu %llu %.3f\n", static_cast<unsigned long long>(presented),
            static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(draws), cpu() - cpuAtStart);
    }
    std::fflush(stdout);
    host.reset();
    player.reset();
    window.reset();
    loop.runUntilIdle();
    ui::Application::setShared(nullptr);
    if (ownHome)
        std::filesystem::remove_all(home);
    return 0;
}
