// bench: tandry_app
// "Local Storage" on the cloud account page for a mirror of 100,000 files
// (1,000 folders of 100), in a home under the current folder (a disk, not
// tmpfs), against `du -sb` of the same folder, both on a warm cache:
// - "ratio": the page's count, from its appearance to the value shown,
//   over du's time (target: within 1.5);
// - "longestPassMs": the longest main-loop pass meanwhile, measured by a
//   1 ms timer (target: under 16).
// The page's quota load goes to a closed local port, so nothing leaves the
// machine.

#include "../PeerTiming.h"

#include "App/Settings/VKCloudAccountSettingsController.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Testing/Environment.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <unistd.h>

namespace {

std::filesystem::path home()
{
    return std::filesystem::current_path() / fmt::format("account-size-bench-{}", getpid());
}

std::string prepareMirror()
{
    static std::string mirror = [] {
        core::RunLoop::setMainThread();
        std::filesystem::create_directories(home());
        core::paths::setHome(home().string());
        std::atexit([] { std::filesystem::remove_all(home()); });
        ui::testing::Environment::begin();
        core::UserDefaults::standard()->set("VKCloudAPIBaseURL", core::Value("http://127.0.0.1:1"));
        VKCloudServicesManager::registerCloudServices();
        auto service = VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey("Dropbox");
        std::string root = service->localPath();
        for (int folder = 0; folder < 1000; ++folder) {
            auto directory = std::filesystem::path(root) / fmt::format("Folder {:03}", folder);
            std::filesystem::create_directories(directory);
            for (int file = 0; file < 100; ++file)
                std::ofstream(directory / fmt::format("file {:03}.txt", file)) << std::string(size_t(file * 7 % 300), 'x');
        }
        return root;
    }();
    return mirror;
}

void LocalStorageVersusDu(benchmark::State& state)
{
    core::LogCapture quiet(true);
    std::string mirror = prepareMirror();
    std::string du = fmt::format("du -sb '{}' > /dev/null", mirror);
    bench::peer(du); // warms the cache
    for (auto _ : state) {
        double peerSeconds = bench::peer(du);
        auto page = VKCloudAccountSettingsController::initWithServiceKey("Dropbox");
        page->view();
        double longest = 0;
        auto last = std::chrono::steady_clock::now();
        auto probe = core::RunLoop::main().schedule(0.001, true, [&](core::Timer&) {
            auto now = std::chrono::steady_clock::now();
            longest = std::max(longest, std::chrono::duration<double>(now - last).count());
            last = now;
        });
        double ours = bench::seconds([&] {
            page->viewWillAppear(false);
            core::RunLoop::main().runUntil([&] { return page->localStorageSize() >= 0; }, 120);
        });
        probe->invalidate();
        state.counters["localStorageSeconds"] = ours;
        state.counters["duSeconds"] = peerSeconds;
        state.counters["ratio"] = ours / peerSeconds;
        state.counters["longestPassMs"] = longest * 1000;
        state.counters["bytes"] = double(page->localStorageSize());
    }
}
BENCHMARK(LocalStorageVersusDu)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
