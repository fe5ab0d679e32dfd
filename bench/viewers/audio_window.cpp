// tool: tandry_viewers tandry_shell tandry_platform_host tandry_platform_web
// The audio player screen in the desktop window (320 × 480 points, one pixel
// each), for bench/viewers/audio_play.sh. Sound goes wherever SDL sends it
// (the script picks SDL's disk driver, paced in real time).
//
//   audio_window play FILE SECONDS
//     pushes the screen on FILE, lets it play SECONDS and prints
//     "played CPU DRAWS TICKS WORST_DAMAGE ALLOWED OUTSIDE POSITION": the
//     process's CPU seconds from play to the end (no start-up), the window's
//     draws, the player's timer ticks seen (elapsed label changes), the
//     largest damaged area of one pass after the first two seconds, the
//     area of the elapsed and remaining labels and the time slider, the
//     damaged rectangles that reached outside them, and the position played.
//   audio_window folder DIR
//     the screen on the first of DIR's audio files (the folder as its
//     playlist, nothing drawn): prints "loaded MS TRACKS SORTS", the
//     milliseconds of the content load and how many times the sorted
//     playlist was made while playing and moving to the next track.

#include "Viewers/AudioPlayer/VKAudioPlayerController.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"
#include "Viewers/AudioPlayer/VKAudioSlider.h"

#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "App/Viewers/VKViewerFolderHost.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Object.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableViewController.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/GtkStartup.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>

namespace {

class Folder : public core::Object, public VKViewerFolderHost {
public:
    std::shared_ptr<VKFileResource> folderResource() const override { return folder; }
    int moveResourceToTrash(const std::shared_ptr<VKFileResource>&) override { return TrashMoved; }
    std::vector<std::shared_ptr<VKFileResource>> getAllViewableResourcesWithType(const std::optional<std::string>&) override
    {
        ++listings;
        return files;
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::optional<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getNextViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getPreviousViewableResourceRelativeToResource(
        const std::shared_ptr<VKFileResource>&, const std::vector<std::string>&) override
    {
        return nullptr;
    }
    std::shared_ptr<VKFileResource> getFirstViewableResourceIgnoringUTIdentifiers(const std::vector<std::string>&) override
    {
        return files.empty() ? nullptr : files.front();
    }

    std::shared_ptr<VKFileResource> folder;
    std::vector<std::shared_ptr<VKFileResource>> files;
    int listings = 0;
};

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double area(const gfx::Rect& rect)
{
    return double(rect.width()) * double(rect.height());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "play") != 0 && std::strcmp(argv[1], "folder") != 0)) {
        std::fprintf(stderr, "usage: %s play FILE SECONDS | folder DIR\n", argv[0]);
        return 2;
    }
    bool playing = std::strcmp(argv[1], "play") == 0;
    std::string home = (std::filesystem::temp_directory_path() / "tandry-audio-window-XXXXXX").string();
    if (!mkdtemp(home.data()))
        return 3;
    core::paths::setHome(home);
    core::RunLoop::setMainThread();
    auto& loop = core::RunLoop::main();
    if (playing && !web::GtkStartup::start())
        return 3;
    auto application = VKApplication::create();
    ui::Application::setShared(application);
    gfx::Screen::main().setScale(1);
    ui::Screen::main()->setBounds({ 0, 0, 320, 480 });
    gfx::setTextEngine(gfx::makePangoTextEngine());

    auto folder = std::make_shared<Folder>();
    std::string first;
    if (playing) {
        first = argv[2];
        folder->folder = VKFileResource::resourceWithPath(std::filesystem::path(first).parent_path().string());
        folder->files = { VKFileResource::resourceWithPath(first) };
    } else {
        folder->folder = VKFileResource::resourceWithPath(argv[2]);
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(argv[2]))
            if (entry.path().extension() == ".mp3")
                names.push_back(entry.path().string());
        // The folder screen's order is not the playlist's: the screen sorts.
        std::reverse(names.begin(), names.end());
        for (const auto& name : names)
            folder->files.push_back(VKFileResource::resourceWithPath(name));
        if (names.empty())
            return 4;
        first = names.front();
    }

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto list = std::make_shared<ui::TableViewController>();
    list->setTitle("Music");
    auto navigation = VKNavigationController::create(list);
    navigation->setToolbarHidden(false);
    window->setRootViewController(navigation);
    std::unique_ptr<ui::WindowHost> host;
    if (playing) {
        host = ui::WindowHost::open({ "Audio", {}, {} });
        if (!host)
            return 4;
    }
    loop.runUntil([] { return false; }, 0.5);

    auto screen = VKAudioPlayerController::create(VKFileResource::resourceWithPath(first), folder);
    if (!playing) {
        auto start = std::chrono::steady_clock::now();
        navigation->pushViewController(screen, false);
        screen->view();
        window->layoutIfNeeded();
        double loaded = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        size_t tracks = screen->sortedPlaylistResources().size();
        const auto* sorted = screen->sortedPlaylistResources().data();
        int sorts = 1;
        loop.runUntil([] { return false; }, 1.0);
        // Moving on asks for the sorted list again: it must be the one made.
        for (int step = 0; step < 3; ++step) {
            if (screen->sortedPlaylistResources().data() != sorted) {
                ++sorts;
                sorted = screen->sortedPlaylistResources().data();
            }
            screen->updatePlaylistInfo();
            loop.runUntil([] { return false; }, 0.2);
        }
        std::printf("loaded %.2f %zu %d %d\n", loaded, tracks, sorts, folder->listings);
    } else {
        double seconds = std::atof(argv[3]);
        navigation->pushViewController(screen, false);
        loop.runUntil([&] { return screen->audioPlayerView() != nullptr; }, 10);
        auto* view = screen->audioPlayerView();
        double cpuAtStart = cpuSeconds();
        auto start = std::chrono::steady_clock::now();
        auto elapsed = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        };
        double worst = 0, allowed = 0;
        int outside = 0, ticks = 0;
        std::string shownTime;
        uint64_t draws = host->drawCountForTesting();
        while (elapsed() < seconds) {
            loop.runOnce(core::RunLoop::DefaultMode, 0.05);
            std::string now = view->timeElapsedLabel()->text();
            if (now != shownTime) {
                ++ticks;
                shownTime = now;
            }
            if (elapsed() < 2 || host->drawCountForTesting() == draws)
                continue;
            draws = host->drawCountForTesting();
            std::vector<gfx::Rect> parts;
            for (ui::View* part : std::initializer_list<ui::View*> { view->timeElapsedLabel(), view->timeRemainingLabel(),
                     view->timeSlider() })
                parts.push_back(part->convertRect(part->bounds(), nullptr));
            allowed = 0;
            for (const auto& part : parts)
                allowed += area(part);
            double damaged = 0;
            for (const auto& rect : host->lastDamage()) {
                damaged += area(rect);
                bool inside = std::any_of(parts.begin(), parts.end(),
                    [&](const gfx::Rect& part) { return part.insetBy(-1, -1).contains(rect); });
                outside += inside ? 0 : 1;
            }
            worst = std::max(worst, damaged);
        }
        double cpu = cpuSeconds() - cpuAtStart;
        std::printf("played %.3f %llu %d %.0f %.0f %d %.1f\n", cpu, static_cast<unsigned long long>(host->drawCountForTesting()),
            ticks, worst, allowed, outside, screen->currentTime());
    }
    std::fflush(stdout);
    navigation->popViewController(false);
    screen.reset();
    loop.runUntil([] { return false; }, 0.3);
    host.reset();
    window->setRootViewController(nullptr);
    window.reset();
    loop.runUntilIdle();
    ui::Application::setShared(nullptr);
    std::filesystem::remove_all(home);
    std::_Exit(0);
}
