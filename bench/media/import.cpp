// bench: tandry_app tandry_shell
// Media from and to the Pictures folder, peers in the same run, on a
// 768 × 1024 tablet at scale 2 with real text:
// - "ImportMovie": a 2 GiB movie picked and imported into a Documents
//   folder, from the pick until the operation reports the file in place,
//   against `cp` of the same file into the same file system, alternating,
//   medians of 4 ("vsCp", target ≤ 1.2). IMPORT_MOVIE_MB sets another size.
// - "SaveToAlbum": 200 twelve-megapixel JPEGs saved to the album (the
//   folder album under XDG_PICTURES_DIR, as the program saves them): the
//   resident size's largest rise in decoded 12 MP images ("growthDecodes",
//   target ≤ 3) and the threads added at most ("threadsAdded", target ≤ 3).
// - "ListPictures": the picker over a Pictures folder of 10,000 files in
//   100 folders, from its presentation until the album list is drawn with
//   every album ("listedMs", target ≤ 1,000).
// - "AlbumGrid": an album of 2,000 photos opened until every square of the
//   first screen shows its thumbnail and the screen is drawn ("firstScreenMs",
//   target ≤ 300), the thumbnails made for it ("firstScreenThumbnails") and
//   the thumbnails' bytes kept ("thumbnailsMB", target ≤ 64).
// The photos are hard links of a few generated JPEGs, so the folders cost
// little disk; each link is a file of its own to the code under test.

#include "App/FolderBrowser/VKImportMediaOperation.h"
#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"

#include "../PeerTiming.h"
#include "../ScreenBench.h"
#include "Shell/VKApplication.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/Graphics/TextEngine.h"
#include "Platform/UI/FolderPhotoLibrary.h"
#include "Platform/UI/ImagePickerAlbumController.h"
#include "Platform/UI/ImagePickerAlbumListController.h"
#include "Platform/UI/ImagePickerController.h"
#include "Platform/UI/ImagePickerThumbnailView.h"
#include "Platform/UI/ImagePickerThumbnails.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/Renderer.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TableViewCell.h"
#include "Platform/UI/Testing/Environment.h"
#include "Platform/UI/ViewController.h"
#include "Platform/UI/Window.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>

namespace {

using Clock = std::chrono::steady_clock;
using Picker = ui::ImagePickerController;
namespace fs = std::filesystem;

const std::string& home()
{
    static const std::string path = TANDRY_SOURCE_DIR "/build/bench/media-import";
    return path;
}

int threadCount()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::atoi(line.c_str() + 8);
    return 0;
}

std::string makeJPEG(const std::string& path, float width, float height)
{
    if (fs::exists(path))
        return path;
    fs::create_directories(fs::path(path).parent_path());
    auto context = gfx::makeImageContext(gfx::Size { width, height }, 1);
    for (float x = 0; x < width; x += 12) {
        context->setFillColor(x / width, 0.5f, 1 - x / width, 1);
        context->fillRect(gfx::Rect(x, 0, 12, height));
    }
    float outer = std::min(width, height) / 2;
    for (float r = outer; r > 0; r -= outer / 40) {
        context->setFillColor(r / outer, 1 - r / outer, 0.3f, 0.5f);
        context->fillEllipseInRect(gfx::Rect(width / 2 - r, height / 2 - r, 2 * r, 2 * r));
    }
    core::fs::writeFileAtomically(path, context->makeImage()->jpegRepresentation(0.9f).value_or(""));
    return path;
}

// `count` hard links of `source` named by `name(n)`, made once.
void link(const std::string& source, int count, const std::function<std::string(int)>& name)
{
    for (int n = 0; n < count; ++n) {
        std::string path = name(n);
        if (fs::exists(path))
            continue;
        fs::create_directories(fs::path(path).parent_path());
        fs::create_hard_link(source, path);
    }
}

void setUp()
{
    if (core::RunLoop::hasMainThread())
        return;
    core::RunLoop::setMainThread();
    fs::create_directories(home());
    core::paths::setHome(home());
    setenv("XDG_PICTURES_DIR", (home() + "/Pictures").c_str(), 1);
    gfx::setTextEngine(gfx::makePangoTextEngine());
    core::UserDefaults::setArguments({ "-DeviceIdiom", "tablet" });
    ui::testing::Environment::begin(VKApplication::create());
    // The program's album, a folder under the Pictures folder, in place of
    // the test environment's recorder.
    ui::PhotoAlbum::setBackend(nullptr);
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    gfx::Screen::main().setScale(2);
    ui::testing::Environment::keyWindow()->setFrame({ 0, 0, 768, 1024 });
    ui::Renderer::renderScreenImage(bench::realText());
}

class ImportEnd : public VKFileOperationDelegate, public VKImportMediaOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation&, const std::optional<core::Error>& error) override
    {
        ended = true;
        failed = error.has_value();
    }
    void importMediaOperation(VKImportMediaOperation&, const std::string& path) override { imported = path; }

    bool ended = false;
    bool failed = false;
    std::string imported;
};

void ImportMovie(benchmark::State& state)
{
    setUp();
    const char* size = std::getenv("IMPORT_MOVIE_MB");
    long megabytes = size && *size ? std::atol(size) : 2048;
    std::string movie = home() + "/source/clip.mp4";
    if (!fs::exists(movie) || long(fs::file_size(movie) >> 20) != megabytes) {
        fs::create_directories(home() + "/source");
        bench::peer(fmt::format("head -c {}M /dev/urandom > '{}'", megabytes, movie));
    }
    std::string destination = VKApplication::sharedApplication()->publicDirectory() + "/Movies";
    std::string peerCopy = home() + "/peer-copy.mp4";
    // Each copy starts from a warm source with no dirty pages left behind
    // by the one before, and leaves none.
    auto settle = [&] {
        bench::peer("sync");
        bench::peer(fmt::format("cat '{}' > /dev/null", movie));
    };
    bool failed = false;
    auto ourImport = [&] {
        fs::remove_all(destination);
        fs::create_directories(destination);
        settle();
        auto end = std::make_shared<ImportEnd>();
        auto operation = VKImportMediaOperation::create(VKFileResource::resourceWithPath(destination));
        operation->setDelegate(std::static_pointer_cast<VKFileOperationDelegate>(end));
        operation->run();
        auto start = Clock::now();
        operation->importMediaWithInfo(core::Value::Dictionary { { Picker::mediaTypeKey, Picker::movieType },
            { Picker::mediaURLKey, core::URL::fileURL(movie).absoluteString() } });
        failed |= !core::RunLoop::main().runUntil([&] { return !end->imported.empty() || end->ended; }, 600);
        double ms = bench::msSince(start);
        failed |= end->imported.empty() || fs::file_size(end->imported) != fs::file_size(movie);
        operation->sendDidEndDelegateMessage();
        core::RunLoop::main().runUntil([&] { return end->ended; }, 10);
        fs::remove_all(destination);
        return ms;
    };
    auto cp = [&] {
        fs::remove(peerCopy);
        settle();
        double ms = 1e3 * bench::peer(fmt::format("cp '{}' '{}'", movie, peerCopy));
        fs::remove(peerCopy);
        return ms;
    };
    std::vector<double> ours, theirs;
    // Who goes first alternates, against the machine's other disk traffic.
    for (auto _ : state) {
        if (ours.size() % 2 == 0) {
            ours.push_back(ourImport());
            theirs.push_back(cp());
        } else {
            theirs.push_back(cp());
            ours.push_back(ourImport());
        }
    }
    bench::peer("sync");
    state.counters["movieMB"] = double(megabytes);
    state.counters["oursMs"] = bench::median(ours);
    state.counters["cpMs"] = bench::median(theirs);
    state.counters["vsCp"] = bench::median(ours) / bench::median(theirs);
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("the movie was not imported whole");
    bench::atMost(fmt::format("{} MB movie imported / cp", megabytes), bench::median(ours) / bench::median(theirs), 1.2, "x",
        fmt::format("{:.0f} ms, cp {:.0f} ms", bench::median(ours), bench::median(theirs)));
}
BENCHMARK(ImportMovie)->Iterations(4)->Unit(benchmark::kMillisecond);

class SaveEnd : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    void saveMediaToPhotosAlbumOperationDidEnd(VKSaveMediaToPhotosAlbumOperation&,
        const std::optional<core::Error>& error) override
    {
        ended = true;
        failed = error.has_value();
    }
    bool ended = false;
    bool failed = false;
};

void SaveToAlbum(benchmark::State& state)
{
    setUp();
    std::string source = makeJPEG(home() + "/source/photo12.jpg", 4000, 3000);
    std::vector<std::string> paths;
    link(source, 200, [&](int n) { return fmt::format("{}/Documents/ToSave/photo{:03}.jpg", home(), n); });
    for (int n = 0; n < 200; ++n)
        paths.push_back(fmt::format("{}/Documents/ToSave/photo{:03}.jpg", home(), n));
    const double decodeMB = 4000.0 * 3000 * 4 / 1e6;
    double growth = 0, seconds = 0;
    int threads = 0;
    bool failed = false;
    for (auto _ : state) {
        fs::remove_all(home() + "/Pictures");
        fs::create_directories(home() + "/Pictures");
        core::RunLoop::main().runUntil([] { return false; }, 0.3);
        double startMB = bench::residentMB();
        int startThreads = threadCount();
        auto end = std::make_shared<SaveEnd>();
        auto operation = VKSaveMediaToPhotosAlbumOperation::create(paths);
        operation->setDelegate(end);
        auto start = Clock::now();
        operation->start();
        failed |= !core::RunLoop::main().runUntil([&] {
            growth = std::max(growth, bench::residentMB() - startMB);
            threads = std::max(threads, threadCount() - startThreads);
            return end->ended;
        }, 900);
        seconds += bench::msSince(start) / 1e3;
        failed |= end->failed || operation->successCount() != 200;
    }
    state.counters["growthDecodes"] = growth / decodeMB;
    state.counters["threadsAdded"] = threads;
    state.counters["secondsFor200"] = seconds / double(state.iterations());
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("not every photo was saved to the album");
    bench::atMost("resident size's rise saving 200 photos, in decoded 12 MP images", growth / decodeMB, 3, "",
        fmt::format("{:.1f} s", seconds / double(state.iterations())));
    bench::atMost("threads added saving them", threads, 3);
}
BENCHMARK(SaveToAlbum)->Iterations(1)->Unit(benchmark::kMillisecond);

// The picker presented over a plain screen, reading `folder` as the
// program's library does.
struct Presented {
    std::shared_ptr<ui::ViewController> root = ui::ViewController::create();
    std::shared_ptr<Picker> picker;

    explicit Presented(const std::string& folder)
    {
        Picker::setLibrary({});
        Picker::setLibrarySource([folder] { return ui::FolderPhotoLibrary::scan(folder); });
        ui::ImagePickerThumbnails::shared().clear();
        ui::testing::Environment::keyWindow()->setRootViewController(root);
        core::RunLoop::main().runUntilIdle();
    }
    void present()
    {
        picker = Picker::create();
        picker->setMediaTypes({ Picker::imageType, Picker::movieType });
        root->presentModalViewController(picker, false);
    }
    ~Presented()
    {
        root->dismissModalViewController(false);
        core::RunLoop::main().runUntilIdle();
        picker.reset();
        ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
        root.reset();
        core::Thread::waitForAll(10);
        core::RunLoop::main().runUntilIdle();
        Picker::setLibrarySource(nullptr);
        Picker::setLibrary({});
        ui::ImagePickerThumbnails::shared().clear();
    }
};

void ListPictures(benchmark::State& state)
{
    setUp();
    std::string folder = home() + "/Library10k";
    std::string source = makeJPEG(home() + "/source/small.jpg", 640, 480);
    link(source, 10000, [&](int n) { return fmt::format("{}/Folder {:03}/IMG_{:05}.jpg", folder, n / 100, n); });
    double listed = 0;
    bool failed = false;
    size_t albums = 0;
    for (auto _ : state) {
        Presented shown(folder);
        auto start = Clock::now();
        shown.present();
        failed |= !core::RunLoop::main().runUntil([&] { return !shown.picker->isLoadingLibrary(); }, 30);
        ui::testing::Environment::keyWindow()->layoutIfNeeded();
        ui::Renderer::renderScreenImage(bench::realText());
        listed += bench::msSince(start);
        albums = shown.picker->albumListController()->tableView().numberOfRows(0);
    }
    state.counters["listedMs"] = listed / double(state.iterations());
    state.counters["albums"] = double(albums);
    state.counters["failed"] = failed || albums != 100;
    if (failed || albums != 100)
        bench::wrongAnswer(fmt::format("the picker listed {} albums of 100", albums));
    bench::atMost("picker over 10,000 pictures in 100 folders listed", listed / double(state.iterations()), 1000, "ms");
}
BENCHMARK(ListPictures)->Iterations(3)->Unit(benchmark::kMillisecond);

bool firstScreenShown(ui::ImagePickerAlbumController& grid)
{
    grid.view()->layoutIfNeeded();
    for (auto* cell : grid.tableView().visibleCells())
        for (const auto& view : cell->contentView().subviews())
            if (auto* square = dynamic_cast<ui::ImagePickerThumbnailView*>(view.get());
                square && !square->isHidden() && !square->isMovie() && !square->hasThumbnail())
                return false;
    return true;
}

void AlbumGrid(benchmark::State& state)
{
    setUp();
    std::string folder = home() + "/Album2k";
    std::string source = makeJPEG(home() + "/source/photo3.jpg", 2000, 1500);
    link(source, 2000, [&](int n) { return fmt::format("{}/IMG_{:05}.jpg", folder, n); });
    double firstScreen = 0, keptMB = 0;
    size_t made = 0;
    bool failed = false;
    for (auto _ : state) {
        Presented shown(folder);
        shown.present();
        failed |= !core::RunLoop::main().runUntil([&] { return !shown.picker->isLoadingLibrary(); }, 30);
        core::RunLoop::main().runUntilIdle();
        size_t madeBefore = ui::ImagePickerThumbnails::shared().madeCountForTesting();
        auto start = Clock::now();
        shown.picker->openAlbum(0);
        auto grid = shown.picker->albumController();
        failed |= !grid || !core::RunLoop::main().runUntil([&] { return firstScreenShown(*grid); }, 30);
        ui::Renderer::renderScreenImage(bench::realText());
        made = ui::ImagePickerThumbnails::shared().madeCountForTesting() - madeBefore;
        firstScreen += bench::msSince(start);
        keptMB = std::max(keptMB, double(ui::ImagePickerThumbnails::shared().keptBytesForTesting()) / (1 << 20));
        // Down through the whole album: what is kept stays bounded.
        for (size_t index = 0; grid && index < 2000; index += 40) {
            grid->scrollToMedia(index, false);
            core::RunLoop::main().runUntil([&] { return firstScreenShown(*grid); }, 30);
            keptMB = std::max(keptMB, double(ui::ImagePickerThumbnails::shared().keptBytesForTesting()) / (1 << 20));
        }
    }
    state.counters["firstScreenMs"] = firstScreen / double(state.iterations());
    // Thumbnails made for the first screen (one worker makes them).
    state.counters["firstScreenThumbnails"] = double(made);
    state.counters["thumbnailsMB"] = keptMB;
    state.counters["failed"] = failed;
    if (failed)
        bench::wrongAnswer("the album's first screen never showed every thumbnail");
    bench::atMost("album of 2,000 photos, first screen", firstScreen / double(state.iterations()), 300, "ms",
        fmt::format("{} thumbnails made", made));
    bench::atMost("thumbnails kept", keptMB, 64, "MB");
}
BENCHMARK(AlbumGrid)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
