// bench: tandry_app
// The folder screen scrolled in 1,000 steps of a hundredth of the large
// folder's rows (from its top to its end; the small folder starts over at
// its top when it reaches its end, so that every step brings as many new
// rows in both), each a new content offset, a layout and the main loop's
// pending work (the thumbnails that came back), over a folder of 100,000
// items and one of 1,000 (2 % folders, each holding a folder of its own;
// every sixth item a real JPEG; the quota tree scanned first):
// - a step over 100,000 items costs at most 2x one over 1,000 ("step /
//   1,000 items"; the medians of three turns, who goes first alternating);
// - the row cells alive at the end are at most the visible rows and two
//   kept for reuse;
// - thumbnails are made only for the image rows that were shown: no more
//   than the image rows visible after some step (and some, or none was
//   asked for at all);
// - a folder row reads only its own folder: no folder inside a listed
//   folder is opened meanwhile (inotify watches them).
// Run in a folder on a disk (the current one).

#include "../PeerTiming.h"
#include "../ScreenBench.h"
#include "Report.h"

#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "FileModel/VKFileResource.h"
#include "FileModel/VKQuotaManager.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/TableView.h"
#include "Shell/VKNavigationController.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <set>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <vector>

namespace {

const int LargeFolder = bench::sized(100'000, 10'000);
constexpr int SmallFolder = 1'000;
constexpr int Steps = 1'000;
// Rows a step moves, in both folders.
const int StepRows = LargeFolder / Steps;
// Inner folders watched for opens; inotify's watches are shared with the
// machine's other programs.
constexpr int WatchedInnerFolders = 400;

std::string scrollBenchHome()
{
    return (std::filesystem::current_path() / fmt::format("scroll-bench-{}", getpid())).string();
}

std::vector<std::weak_ptr<VKFileResourceCell>>& madeRowCells()
{
    static std::vector<std::weak_ptr<VKFileResourceCell>> cells;
    return cells;
}

std::string smallJPEG()
{
    auto context = gfx::makeImageContext(gfx::Size { 96, 64 }, 1);
    context->setFillColor(0.2f, 0.5f, 0.8f, 1);
    context->fillRect(gfx::Rect(0, 0, 96, 64));
    context->setFillColor(0.9f, 0.7f, 0.1f, 1);
    context->fillEllipseInRect(gfx::Rect(20, 10, 40, 40));
    return context->makeImage()->jpegRepresentation(0.8f).value_or(std::string());
}

// The folder's items; answers the inner folders made.
std::vector<std::string> fillScrollFolder(const std::string& folder, int count)
{
    static const std::string jpeg = smallJPEG();
    static const char* stems[] = { "Invoice", "photo", "Été", "notes", "Übersicht", "draft", "Zeta", "année", "IMG" };
    static const char* extensions[] = { "pdf", "txt", "docx", "mp3", "zip" };
    std::vector<std::string> inner;
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        std::string stem = fmt::format("{} {}", stems[i % 9], i * 7919 % 100'003);
        auto path = std::filesystem::path(folder) / stem;
        if (i % 50 == 1) {
            inner.push_back((path / "Inner").string());
            std::filesystem::create_directories(inner.back());
            std::ofstream(inner.back() + "/deep.txt") << "deep";
            std::ofstream(path.string() + "/shallow.txt") << "shallow";
        } else if (i % 6 == 0) {
            std::ofstream(path.string() + ".jpg", std::ios::binary) << jpeg;
        } else {
            std::ofstream(path.string() + "." + extensions[i % 5], std::ios::binary) << std::string(size_t(i % 300), 'x');
        }
    }
    return inner;
}

struct ScrollSetting {
    std::string large, small;
    std::vector<std::string> innerFolders;
};

const ScrollSetting& scrollSetting()
{
    static ScrollSetting made = [] {
        bench::beginScreenBench(scrollBenchHome(), "phone", { 320, 480 }, 2);
        std::atexit([] { std::filesystem::remove_all(scrollBenchHome()); });
        std::string documents = VKApplication::sharedApplication()->documentsDirectory();
        ScrollSetting s;
        s.large = documents + "/Large";
        s.small = documents + "/Small";
        s.innerFolders = fillScrollFolder(s.large, LargeFolder);
        fillScrollFolder(s.small, SmallFolder);
        VKQuotaManager::defaultManager()->updateQuotaForPath(documents);
        core::RunLoop::main().runUntilIdle();
        VKFolderTransferRows::registerCellFactory("VKFileResourceCell", [](const std::string& identifier) {
            auto cell = VKFileResourceCell::create(identifier);
            madeRowCells().push_back(cell);
            return cell;
        });
        return s;
    }();
    return made;
}

// Counts the opens of the folders it watches.
class OpenWatch {
public:
    explicit OpenWatch(const std::vector<std::string>& folders)
        : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (size_t i = 0; i < folders.size() && i < size_t(WatchedInnerFolders); ++i)
            inotify_add_watch(m_fd, folders[i].c_str(), IN_OPEN);
    }
    ~OpenWatch() { close(m_fd); }
    int opens()
    {
        alignas(inotify_event) char buffer[16384];
        ssize_t got;
        while ((got = read(m_fd, buffer, sizeof buffer)) > 0)
            for (char* at = buffer; at < buffer + got;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                m_opens += (event->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + event->len;
            }
        return m_opens;
    }

private:
    int m_fd;
    int m_opens = 0;
};

struct ScrollRun {
    double stepSeconds = 0;
    size_t rows = 0;
    size_t aliveCells = 0;
    size_t visibleCells = 0;
    size_t shownImageRows = 0;
    size_t thumbnailsMade = 0;
    int innerOpens = 0;
};

size_t filesIn(const std::string& folder)
{
    size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator(folder, error); !error && it != std::filesystem::directory_iterator();
         it.increment(error))
        count += it->is_regular_file();
    return count;
}

// Runs the main loop until the image queue has made no thumbnail for a
// second: it has one worker and nothing tells when it is done.
void waitForThumbnails(const std::string& folder)
{
    size_t made = filesIn(folder);
    auto changed = std::chrono::steady_clock::now();
    auto start = changed;
    while (std::chrono::steady_clock::now() - changed < std::chrono::seconds(1)
        && std::chrono::steady_clock::now() - start < std::chrono::seconds(120)) {
        core::RunLoop::main().runOnce(core::RunLoop::DefaultMode, 0.1);
        if (size_t now = filesIn(folder); now != made) {
            made = now;
            changed = std::chrono::steady_clock::now();
        }
    }
}

ScrollRun scrollThrough(const std::string& folder, const std::vector<std::string>& watched)
{
    auto thumbnails = VKThumbnailManager::sharedManager();
    waitForThumbnails(thumbnails->thumbnailCacheDirectory());
    thumbnails->resetCaches();
    core::RunLoop::main().runUntilIdle();
    madeRowCells().clear();

    auto controller = VKFolderController::folderControllerWithResource(VKFileResource::resourceWithPath(folder), {});
    auto navigation = VKNavigationController::create(controller);
    auto& window = ui::testing::Environment::keyWindow();
    window->setRootViewController(navigation);
    window->layoutIfNeeded();
    core::RunLoop::main().runUntilIdle();

    OpenWatch watch(watched);
    ui::TableView& table = controller->activeTableView();
    const float end = table.maximumContentOffset().y;
    const float stride = float(StepRows) * table.rowHeight();
    std::set<std::string> shownImages;
    ScrollRun run;
    run.rows = controller->listing().count();
    auto start = std::chrono::steady_clock::now();
    for (int step = 1; step <= Steps; ++step) {
        table.setContentOffset({ 0, std::min(end, std::fmod(stride * float(step), end + stride)) });
        table.layoutIfNeeded();
        core::RunLoop::main().runUntilIdle();
        for (auto* cell : table.visibleCells())
            if (auto* row = dynamic_cast<VKFileResourceCell*>(cell); row && row->resource() && row->resource()->isImageType())
                shownImages.insert(row->resource()->path());
    }
    run.stepSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / Steps;

    // The thumbnails asked for are made on the image queue. Those of this
    // folder's rows are counted (the cache may still get some of the other
    // folder's after its reset).
    waitForThumbnails(thumbnails->thumbnailCacheDirectory());
    for (int row = 0; row < int(run.rows); ++row) {
        auto resource = controller->resourceAtIndexPath({ 0, row });
        if (!resource || !resource->isImageType() || resource->existingUUID().empty())
            continue;
        run.thumbnailsMade += std::filesystem::exists(
            thumbnails->thumbnailCacheDirectory() + "/" + resource->existingUUID());
    }
    run.innerOpens = watch.opens();
    run.shownImageRows = shownImages.size();
    run.visibleCells = table.visibleCells().size();
    for (auto& cell : madeRowCells())
        run.aliveCells += !cell.expired();

    window->setRootViewController(nullptr);
    navigation.reset();
    controller.reset();
    core::RunLoop::main().runUntilIdle();
    return run;
}

void ScrollEndToEnd(benchmark::State& state)
{
    const auto& s = scrollSetting();
    ScrollRun large, small;
    std::vector<double> largeSteps, smallSteps;
    for (auto _ : state) {
        // The two sizes take turns, who goes first alternating, and the
        // medians compare, so that a busy moment of the machine does not
        // fall on one alone.
        if (largeSteps.size() % 2 == 0) {
            small = scrollThrough(s.small, {});
            large = scrollThrough(s.large, s.innerFolders);
        } else {
            large = scrollThrough(s.large, s.innerFolders);
            small = scrollThrough(s.small, {});
        }
        largeSteps.push_back(large.stepSeconds);
        smallSteps.push_back(small.stepSeconds);
    }
    large.stepSeconds = bench::median(largeSteps);
    small.stepSeconds = bench::median(smallSteps);
    if (large.rows != size_t(LargeFolder) || small.rows != size_t(SmallFolder)) {
        bench::wrongAnswer(fmt::format("the screens showed {} and {} rows of {} and {} items", large.rows, small.rows,
            LargeFolder, SmallFolder));
        return;
    }
    state.counters["stepUs"] = large.stepSeconds * 1e6;
    state.counters["smallStepUs"] = small.stepSeconds * 1e6;
    bench::atMost(fmt::format("step / {} items", SmallFolder), large.stepSeconds / small.stepSeconds, 2, "x",
        fmt::format("{:.0f} µs a step over {} items, {:.0f} µs over {}", large.stepSeconds * 1e6, LargeFolder,
            small.stepSeconds * 1e6, SmallFolder));
    bench::atMost("row cells alive beyond those visible", double(large.aliveCells) - double(large.visibleCells), 2, "",
        fmt::format("{} alive, {} visible", large.aliveCells, large.visibleCells));
    bench::atMost("thumbnails made / image rows shown",
        large.shownImageRows ? double(large.thumbnailsMade) / double(large.shownImageRows) : 0, 1, "x",
        fmt::format("{} thumbnails, {} image rows shown of {}", large.thumbnailsMade, large.shownImageRows,
            LargeFolder / 6));
    bench::atMost("inner folders opened", large.innerOpens, 0, "",
        fmt::format("{} inner folders watched", std::min<size_t>(s.innerFolders.size(), WatchedInnerFolders)));
    if (large.thumbnailsMade == 0)
        bench::wrongAnswer("no thumbnail was made for the image rows shown");
}
BENCHMARK(ScrollEndToEnd)->Iterations(3)->Unit(benchmark::kSecond);

} // namespace
