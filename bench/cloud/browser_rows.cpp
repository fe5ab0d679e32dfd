// bench: tandry_app tandry_test_support tandry_test_support_dropbox
// Uploading 1,000 and then 2,000 small files into the cloud folder shown on
// a phone-sized screen, against the fake cloud service over plain HTTP on
// 127.0.0.1: the shown folder takes the staged items and every upload's
// state as rows (the mirror's saves reach the table row by row while the
// operation runs). Reported per size:
// - "row_work_s": the main thread's processor time in the shown screen's
//   row work (the mirror's saves, the uploads' starts and ends, the table's
//   questions about rows) from the start of the upload to its end;
//   "row_work_ratio" (2,000 only) is it against the 1,000 run's, targeted
//   at 2.5 or less (linear row work); "main_cpu_s" is all of the main
//   thread's time, the upload's own work included (the hidden runs, with
//   the service's root shown instead, give that alone);
// - "pass_p95_ms" and "longest_pass_ms": main-loop passes measured by a
//   1 ms timer, the 95th percentile targeted under 16;
// - "live_cells" against "visible_cells": the rows' cells alive at the end
//   (made and not let go) against those the table shows.

#include "../ScreenBench.h"

#include "App/FolderBrowser/VKCloudFolderController.h"
#include "App/FolderBrowser/VKFileResourceCell.h"
#include "App/FolderBrowser/VKUploadFileResourceCell.h"
#include "Shell/VKNavigationController.h"
#include "CloudOperations/VKCloudUploadHooks.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/DBDefines.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileResource.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/TableView.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <chrono>
#include <ctime>
#include <fmt/format.h>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

double threadCPUSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The cloud folder screen with its row work timed: the mirror's saves, the
// uploads' starts and ends, and the table's questions about rows.
class TimedFolderScreen : public VKCloudFolderController {
public:
    using VKCloudFolderController::VKCloudFolderController;
    static std::shared_ptr<TimedFolderScreen> make(const std::shared_ptr<VKFileResource>& resource)
    {
        auto screen = std::make_shared<TimedFolderScreen>(resource);
        screen->startObserving();
        return screen;
    }
    void cloudFileStoreDidSave(const store::ContextSave& save) override
    {
        timed([&] { VKCloudFolderController::cloudFileStoreDidSave(save); });
    }
    void cloudUploadDidStartOrEnd(const core::Notification& notification) override
    {
        timed([&] { VKCloudFolderController::cloudUploadDidStartOrEnd(notification); });
    }
    int numberOfRows(ui::TableView& table, int section) override
    {
        int rows = 0;
        timed([&] { rows = VKCloudFolderController::numberOfRows(table, section); });
        return rows;
    }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override
    {
        std::shared_ptr<ui::TableViewCell> cell;
        timed([&] { cell = VKCloudFolderController::cellForRow(table, path); });
        return cell;
    }
    void willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path) override
    {
        timed([&] { VKCloudFolderController::willDisplayCell(table, cell, path); });
    }
    // Seconds of the main thread's processor time in the row work.
    double rowSeconds = 0;

private:
    void timed(const std::function<void()>& work)
    {
        if (m_depth++ > 0) {
            work();
            --m_depth;
            return;
        }
        const double start = threadCPUSeconds();
        work();
        rowSeconds += threadCPUSeconds() - start;
        --m_depth;
    }
    int m_depth = 0;
};

// Every row cell the folder screens make, weakly, to count those alive.
std::vector<std::weak_ptr<VKFileResourceCell>>& madeCells()
{
    static std::vector<std::weak_ptr<VKFileResourceCell>> cells;
    return cells;
}

struct World {
    World()
    {
        home = (std::filesystem::current_path() / fmt::format("browser-rows-bench-{}", getpid())).string();
        bench::beginScreenBench(home, "phone", { 320, 480 }, 2);
        server = std::make_unique<test::FakeCloudServer>();
        session = server->linkSession();
        auto defaults = core::UserDefaults::standard();
        defaults->set(VKCloudAPIBaseURL, server->baseURL());
        defaults->set(VKCloudContentBaseURL, server->baseURL());
        VKCloudHooks::setCurrent(std::make_shared<VKCloudUploadHooks>());
        VKCloudServicesManager::registerCloudServices();
        VKCloudFolderController::registerCloudScreens();
        for (const char* identifier : { "VKFileResourceCell", "VKUploadFileResourceCell" })
            VKFolderTransferRows::registerCellFactory(identifier, [](const std::string& name) -> std::shared_ptr<VKFileResourceCell> {
                std::shared_ptr<VKFileResourceCell> cell;
                if (name == "VKUploadFileResourceCell")
                    cell = VKUploadFileResourceCell::create(name);
                else
                    cell = VKFileResourceCell::create(name);
                madeCells().push_back(cell);
                return cell;
            });
        service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
        auto store = VKCloudFileStore::sharedStore();
        if (!service || !service->isLinked() || !store->bootstrapCloudFileStore())
            abort();
        if (!store->managedObjectForPath(service->localPath())) {
            auto root = store->insertObjectForPath(service->localPath());
            root->setIsDirectory(true);
            store->saveContext();
        }
    }
    ~World()
    {
        service.reset();
        server.reset();
        std::filesystem::remove_all(home);
    }

    // Lists the folder into the mirror.
    void list(const std::string& cloudPath)
    {
        bool listed = false;
        auto observation = core::NotificationCenter::defaultCenter().observe(VKCloudServiceDidUpdateMetadataNotification,
            nullptr, [&](const core::Notification&) { listed = true; });
        service->updateMetadataForResource(service->resourceForCloudPath(cloudPath), nullptr);
        core::RunLoop::main().runUntil([&] { return listed; }, 60);
    }

    std::string home;
    std::unique_ptr<test::FakeCloudServer> server;
    std::shared_ptr<DBSession> session;
    std::shared_ptr<VKCloudService> service;
};

World& world()
{
    static World instance;
    return instance;
}

std::map<int64_t, double>& cpuBySize()
{
    static std::map<int64_t, double> seconds;
    return seconds;
}

void UploadIntoTheShownFolder(benchmark::State& state)
{
    core::LogCapture quiet(true);
    World& w = world();
    const int64_t count = state.range(0);
    const bool shown = state.range(1) != 0;
    const std::string name = fmt::format("Drop{}{}", count, shown ? "" : "-hidden");
    std::filesystem::create_directories(w.server->localPath("/" + name));
    w.list("/");
    core::RunLoop::main().runUntil([&] { return w.service->resourceForCloudPath("/" + name) != nullptr; }, 60);
    auto folder = w.service->resourceForCloudPath("/" + name);
    if (!folder) {
        state.SkipWithError("no cloud folder");
        return;
    }
    const std::string source = w.home + "/Library/Documents/" + name;
    std::filesystem::create_directories(source);
    std::vector<std::shared_ptr<VKFileResource>> files;
    for (int64_t i = 0; i < count; ++i) {
        const std::string path = fmt::format("{}/file {:04}.txt", source, i);
        std::ofstream(path) << fmt::format("small file {}\n", i);
        files.push_back(VKFileResource::resourceWithPath(path));
    }

    // Without the screen, the upload's own main-thread work.
    auto screen = TimedFolderScreen::make(shown ? folder : w.service->resourceForCloudPath("/"));
    auto navigation = VKNavigationController::create(screen);
    ui::testing::Environment::keyWindow()->setRootViewController(navigation);
    core::RunLoop::main().runUntil([&] { return !w.service->isUpdatingMetadataForResource(folder); }, 60);
    core::RunLoop::main().runUntilIdle();
    madeCells().clear();

    for (auto _ : state) {
        std::vector<double> passes;
        auto last = std::chrono::steady_clock::now();
        auto probe = core::RunLoop::main().schedule(0.001, true, [&](core::Timer&) {
            auto now = std::chrono::steady_clock::now();
            passes.push_back(std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
        });
        const double cpuBefore = threadCPUSeconds();
        screen->rowSeconds = 0;
        const auto start = std::chrono::steady_clock::now();
        auto operation = VKCloudUploadOperation::initWithResources(files);
        operation->setDestination(folder);
        if (VKBrowserOperation::startFileOperation(operation) == VKBrowserOperation::NoRun) {
            state.SkipWithError("the upload did not start");
            break;
        }
        core::RunLoop::main().runUntil([] { return !VKBrowserOperation::isOperationInProgress(); }, 1800);
        const double cpu = threadCPUSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        probe->invalidate();
        core::RunLoop::main().runUntilIdle();

        std::sort(passes.begin(), passes.end());
        const double p95 = passes.empty() ? 0 : passes[std::min(passes.size() - 1, size_t(double(passes.size()) * 0.95))];
        size_t alive = 0;
        for (const auto& cell : madeCells())
            alive += !cell.expired();
        const size_t uploaded = w.service->resourceForCloudPath("/" + name)->children().value_or(
            std::vector<std::shared_ptr<VKFileResource>> {}).size();
        if (shown)
            cpuBySize()[count] = screen->rowSeconds;
        state.counters["wall_s"] = wall;
        state.counters["main_cpu_s"] = cpu;
        state.counters["row_work_s"] = screen->rowSeconds;
        if (auto half = cpuBySize().find(count / 2); shown && half != cpuBySize().end() && half->second > 0)
            state.counters["row_work_ratio"] = screen->rowSeconds / half->second;
        state.counters["pass_p95_ms"] = p95;
        state.counters["longest_pass_ms"] = passes.empty() ? 0 : passes.back();
        state.counters["live_cells"] = double(alive);
        state.counters["visible_cells"] = double(screen->tableView().visibleCells().size());
        state.counters["rows"] = double(screen->listing().count());
        // Timings of an upload that lost files measure nothing.
        if (uploaded != size_t(count)) {
            bench::wrongAnswer(fmt::format("{} of {} items in the folder", uploaded, count));
            state.SkipWithError("the upload lost files");
            break;
        }
        if (shown) {
            if (auto half = cpuBySize().find(count / 2); half != cpuBySize().end() && half->second > 0)
                bench::atMost(fmt::format("row work, {} / {} uploads", count, count / 2), screen->rowSeconds / half->second,
                    2.5, "x", fmt::format("{:.2f} s of main-thread CPU", screen->rowSeconds));
            bench::atMost(fmt::format("95th percentile main-loop pass, {} uploads", count), p95, 16, "ms",
                fmt::format("longest {:.1f} ms", passes.empty() ? 0 : passes.back()));
            bench::atMost(fmt::format("row cells alive beyond those visible, {} uploads", count),
                double(alive) - double(screen->tableView().visibleCells().size()), 2, "",
                fmt::format("{} alive", alive));
        }
    }
    ui::testing::Environment::keyWindow()->setRootViewController(nullptr);
    core::RunLoop::main().runUntilIdle();
    // A listing still parsed on a worker would end after the program's
    // statics are gone and crash its exit.
    core::Thread::waitForAll(10);
}
BENCHMARK(UploadIntoTheShownFolder)->Args({ 1000, 1 })->Args({ 2000, 1 })->Args({ 1000, 0 })->Args({ 2000, 0 })->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
