// bench: tandry_cloud_operations tandry_cloud tandry_filemodel tandry_shell tandry_kit tandry_test_support tandry_test_support_cloud tandry_test_support_filemodel
// The single-upload queue's own work on the main thread, with a service that
// answers at once (no network): N uploads started (two run, the rest wait),
// progress events of the running two, then every upload ended in order, each
// end starting the next. Counters per item and per event; the queue's work
// is linear when the per-item and per-event figures of 1,000 and 4,000
// uploads stay alike.

#include "Shell/VKApplication.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKNetworkState.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include "Support/Cloud/TestCloudService.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fmt/format.h>

namespace {

// Takes an upload as the real service does (state 5) and runs nothing.
class QuietService : public test::TestCloudService {
public:
    using TestCloudService::TestCloudService;
    void uploadResource(const Resource& resource, Callback) override
    {
        if (resource && resource->managedObject())
            resource->managedObject()->setUploadState(VKNetworkStateUploading);
    }
    bool isUploadingItemAtPath(const std::string&) override { return false; }
};

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One home with 4,000 staged files in the mirror, for every run.
struct World {
    World()
    {
        core::RunLoop::setMainThread();
        std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-queue-XXXXXX";
        home = mkdtemp(pattern.data());
        core::paths::setHome(home);
        service = std::make_shared<QuietService>("Queue", VKApplication::sharedApplication()->serversDirectory() + "/Queue");
        auto registered = service;
        VKCloudServicesManager::sharedManager()->registerCloudService([registered] { return registered; }, "Queue");
        auto store = VKCloudFileStore::sharedStore();
        for (const char* folder : { "", "/Up" })
            if (auto node = store->insertObjectForPath(service->localPath() + folder))
                node->setIsDirectory(true);
        for (int i = 0; i < 4000; ++i) {
            paths.push_back(fmt::format("/Up/file {:05}.jpg", i));
            if (auto node = store->insertObjectForPath(service->localPath() + paths.back()))
                node->setSize(1 << 20);
        }
        store->saveContext();
        for (const auto& path : paths)
            resources.push_back(service->resourceForCloudPath(path));
    }
    ~World()
    {
        VKCloudUploadManager::resetSharedManagerForTesting();
        core::Thread::waitForAll(10);
        std::filesystem::remove_all(home);
    }
    std::string home;
    std::shared_ptr<QuietService> service;
    std::vector<std::string> paths;
    std::vector<VKCloudService::Resource> resources;
};

World& world()
{
    static World instance;
    return instance;
}

void BM_UploadQueue(benchmark::State& state)
{
    const size_t count = size_t(state.range(0));
    constexpr int Events = 20000;
    World& w = world();
    auto& service = w.service;
    const std::vector<std::string> paths(w.paths.begin(), w.paths.begin() + long(count));
    const std::vector<VKCloudService::Resource> resources(w.resources.begin(), w.resources.begin() + long(count));

    double start = 0, event = 0, end = 0;
    for (auto _ : state) {
        for (auto& resource : resources)
            resource->managedObject()->setUploadState(VKNetworkStateNone);
        VKCloudUploadManager::resetSharedManagerForTesting();
        auto manager = VKCloudUploadManager::sharedManager();
        auto began = std::chrono::steady_clock::now();
        for (const auto& resource : resources)
            manager->startUploadOfCloudResource(resource);
        start += seconds(began);

        began = std::chrono::steady_clock::now();
        for (int i = 0; i < Events; ++i)
            manager->cloudServiceUploadForPathDidUpdateProgress(*service, paths[size_t(i % 2)], float(i) / Events);
        event += seconds(began);

        began = std::chrono::steady_clock::now();
        for (const auto& path : paths)
            manager->cloudServiceUploadCompletedForPath(*service, path);
        end += seconds(began);
        if (manager->hasActiveUploads())
            state.SkipWithError("uploads left");
    }
    const double runs = double(state.iterations());
    state.counters["start_us_per_item"] = start / runs / double(count) * 1e6;
    state.counters["event_us"] = event / runs / Events * 1e6;
    state.counters["end_us_per_item"] = end / runs / double(count) * 1e6;
}
BENCHMARK(BM_UploadQueue)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Linear: each figure per item or event at 4,000 uploads within 1.5x of
// the same at 1,000.
[[maybe_unused]] const bool targets = bench::atEnd([] {
    for (const char* figure : { "start_us_per_item", "event_us", "end_us_per_item" })
        bench::atMost(fmt::format("{}, 4,000 / 1,000 uploads", figure),
            bench::runCounter("BM_UploadQueue/4000", figure) / bench::runCounter("BM_UploadQueue/1000", figure), 1.5, "x",
            fmt::format("{:.2f} µs at 4,000", bench::runCounter("BM_UploadQueue/4000", figure)));
});

} // namespace
