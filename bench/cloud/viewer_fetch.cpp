// bench: tandry_app tandry_test_support tandry_test_support_dropbox
// Opening a viewer on a 256 MiB file of the cloud account that has no copy
// yet, against the fake cloud service over plain HTTP on 127.0.0.1: from
// the viewer's view loading (what a tap on the row starts) to its
// loadContentView, which runs once the file lies in the mirror. The peer is
// the curl program sending the same two signed requests the fetch sends
// (the file's metadata, then the file), in the same run:
// - "ratio": ours over curl's, targeted at 1.3 or less;
// - "peak_rss_growth_MiB": under 32 (the file is never held whole);
// - "longest_pass_ms": the longest main-loop pass meanwhile, measured by a
//   1 ms timer, under 16; "longest_pass_cpu_ms" is the same pass in the
//   thread's processor time, which a busy machine does not lengthen.

#include "../PeerTiming.h"
#include "SigningClient.h"

#include "Shell/VKApplication.h"
#include "App/Viewers/VKViewController.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "DropboxSDK/DBDefines.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Testing/Environment.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int64_t FileSize = int64_t(256) << 20;

double peakRSSMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The main thread's processor time, which a busy machine does not lengthen.
double threadCPUSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A viewer whose content is nothing: it only notes when it was asked.
class TimedViewer : public VKViewController {
public:
    void loadContentView() override { loaded = std::chrono::steady_clock::now(); }
    std::optional<std::chrono::steady_clock::time_point> loaded;
};

// One home (on disk, under the current folder), one fake and the linked
// program service for the whole run.
struct World {
    World()
    {
        core::RunLoop::setMainThread();
        home = (std::filesystem::current_path() / fmt::format("viewer-fetch-bench-{}", getpid())).string();
        std::filesystem::create_directories(home);
        core::paths::setHome(home);
        ui::testing::Environment::begin();
        server = std::make_unique<test::FakeCloudServer>();
        session = server->linkSession();
        auto defaults = core::UserDefaults::standard();
        defaults->set(VKCloudAPIBaseURL, server->baseURL());
        defaults->set(VKCloudContentBaseURL, server->baseURL());
        const int fd = open(server->localPath("/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ftruncate(fd, FileSize) != 0)
            abort();
        close(fd);

        VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
        VKCloudServicesManager::registerCloudServices();
        service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
        auto store = VKCloudFileStore::sharedStore();
        if (!service || !service->isLinked() || !store->bootstrapCloudFileStore())
            abort();
        if (!store->managedObjectForPath(service->localPath())) {
            auto root = store->insertObjectForPath(service->localPath());
            root->setIsDirectory(true);
            store->saveContext();
        }
        bool listed = false;
        auto observation = core::NotificationCenter::defaultCenter().observe(VKCloudServiceDidUpdateMetadataNotification,
            nullptr, [&](const core::Notification&) { listed = true; });
        service->updateMetadataForResource(service->resourceForCloudPath("/"), nullptr);
        core::RunLoop::main().runUntil([&] { return listed; }, 60);
        if (!service->resourceForCloudPath("/big.bin"))
            abort();
    }
    ~World()
    {
        service.reset();
        server.reset();
        std::filesystem::remove_all(home);
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

void ViewerFetchVersusCurl(benchmark::State& state)
{
    core::LogCapture quiet(true);
    World& w = world();
    auto signer = SigningClient::create(w.session);
    const std::string curlCopy = w.home + "/curl.bin";
    for (auto _ : state) {
        // The peer: the same metadata and file requests, signed by our code.
        const std::string metadata = signer->requestWithProtocol(kDBProtocolHTTPS, kDBDropboxAPIHost,
            "/metadata/dropbox/big.bin", {}).url().absoluteString();
        const std::string file = signer->requestWithProtocol(kDBProtocolHTTPS, kDBDropboxAPIContentHost,
            "/files/dropbox/big.bin", {}).url().absoluteString();
        const double curlSeconds = bench::peer(
            fmt::format("curl -s -f -o /dev/null '{}' && curl -s -f -o '{}' '{}'", metadata, curlCopy, file));
        std::filesystem::remove(curlCopy);

        auto resource = w.service->resourceForCloudPath("/big.bin");
        std::filesystem::remove(resource->path());
        const double rssBefore = peakRSSMiB();
        auto viewer = std::make_shared<TimedViewer>();
        viewer->initWithResource(resource, nullptr);
        double longest = 0;
        double longestAt = 0;
        const auto start = std::chrono::steady_clock::now();
        auto last = start;
        double longestCPU = 0;
        double lastCPU = threadCPUSeconds();
        auto probe = core::RunLoop::main().schedule(0.001, true, [&](core::Timer&) {
            const double cpu = threadCPUSeconds();
            longestCPU = std::max(longestCPU, cpu - lastCPU);
            lastCPU = cpu;
            auto now = std::chrono::steady_clock::now();
            const double pass = std::chrono::duration<double>(now - last).count();
            if (pass > longest) {
                longest = pass;
                longestAt = std::chrono::duration<double>(now - start).count();
            }
            last = now;
        });
        viewer->view();
        state.counters["view_ms"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * 1000;
        core::RunLoop::main().runUntil([&] { return viewer->loaded.has_value(); }, 600);
        probe->invalidate();
        if (!viewer->loaded) {
            state.SkipWithError("the viewer never loaded");
            break;
        }
        const double ours = std::chrono::duration<double>(*viewer->loaded - start).count();
        state.counters["viewer_s"] = ours;
        state.counters["curl_s"] = curlSeconds;
        state.counters["ratio"] = ours / curlSeconds;
        state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - rssBefore;
        state.counters["longest_pass_ms"] = longest * 1000;
        state.counters["longest_pass_at_s"] = longestAt;
        state.counters["longest_pass_cpu_ms"] = longestCPU * 1000;
        if (std::filesystem::file_size(resource->path()) != uint64_t(FileSize))
            state.SkipWithError("the mirror copy is not whole");
        bench::atMost("256 MiB cloud file to the viewer / curl", ours / curlSeconds, 1.3, "x",
            fmt::format("{:.2f} s, curl {:.2f} s", ours, curlSeconds));
        bench::atMost("peak memory grown", peakRSSMiB() - rssBefore, 32, "MiB");
        bench::atMost("longest main-loop pass meanwhile", longest * 1000, 16, "ms",
            fmt::format("{:.1f} ms of CPU", longestCPU * 1000));
    }
}
BENCHMARK(ViewerFetchVersusCurl)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace
