// bench: tandry_app
// "Local Storage" on the cloud account page for a mirror of 100,000 files
// (1,000 folders of 100), in a home under the current folder (a disk, not
// tmpfs), against `du -sb` of the same folder, both on a warm cache:
// - "ratio": the page's count, from its appearance to the value shown,
//   over du's time (target: within 1.5);
// - "longestPassMs": the longest main-loop pass meanwhile, measured by a
//   1 ms timer (target: under 16).
// The page's quota load goes to a closed local port, so nothing leaves the
// machine. The size shown is checked first: at least the files' bytes, at
// most what du counts (which adds the folders' own).

#include "../PeerTiming.h"
#include "Report.h"

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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
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
    int64_t fileBytes = 0, duBytes = -1;
    for (int file = 0; file < 100; ++file)
        fileBytes += 1000 * (file * 7 % 300);
    if (FILE* pipe = popen(fmt::format("du -sb '{}'", mirror).c_str(), "r")) {
        long long read = -1;
        if (std::fscanf(pipe, "%lld", &read) == 1)
            duBytes = read;
        pclose(pipe);
    }
    std::vector<double> ratios, longestPasses;
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
        if (page->localStorageSize() < fileBytes || page->localStorageSize() > duBytes)
            bench::wrongAnswer(fmt::format("\"Local Storage\" counted {} bytes; the files hold {}, du counts {}",
                page->localStorageSize(), fileBytes, duBytes));
        ratios.push_back(ours / peerSeconds);
        longestPasses.push_back(longest * 1000);
    }
    bench::atMost("\"Local Storage\" of 100,000 files / du -sb", bench::median(ratios), 1.5, "x", "median of 3");
    bench::atMost("longest main-loop pass meanwhile", *std::max_element(longestPasses.begin(), longestPasses.end()),
        16, "ms");
}
BENCHMARK(LocalStorageVersusDu)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
