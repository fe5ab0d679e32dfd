// bench: tandry_downloads tandry_test_support
// A 1 GiB generated body from the loopback web server through the download
// manager into the documents, against `curl -s -o F URL && sync F` on the
// same server in the same run: at most 1.2 times curl's time, peak RSS
// growth below 32 MiB, and the same SHA-256 for both files.
#include "../PeerTiming.h"

#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Support/TestWebServer.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

constexpr uint64_t Total = uint64_t(1) << 30;

long peakKiB()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string sha256(const std::string& path)
{
    std::string command = fmt::format("sha256sum '{}'", path);
    std::string digest;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65] = {};
        if (std::fread(buffer, 1, 64, pipe) == 64)
            digest.assign(buffer, 64);
        ::pclose(pipe);
    }
    return digest;
}

void DownloadManagerAgainstCurl(benchmark::State& state)
{
    static core::LogCapture quiet(true);
    std::string home = std::filesystem::temp_directory_path() / fmt::format("tandry-download-bench-{}", ::getpid());
    std::filesystem::create_directories(home);
    core::paths::setHome(home);
    VKHomeLayout::setCurrent(nullptr);
    test::TestWebServer server(home + "/server");
    std::string url = server.url(fmt::format("/bytes/{}", Total));
    for (auto _ : state) {
        auto manager = VKDownloadManager::sharedManager();
        long before = peakKiB();
        std::shared_ptr<VKDownloadFileResource> item;
        double ours = bench::seconds([&] {
            item = manager->startWebDownloadWithRequest(core::URLRequest(core::URL::parse(url).value()),
                VKHomeLayout::current()->documentsDirectory());
            core::RunLoop::current().runUntil([&] {
                auto s = item->downloadState();
                return s == VKNetworkStateDone || (s == VKNetworkStatePaused && item->downloadError());
            }, 600);
        });
        long growth = peakKiB() - before;
        std::string peerFile = home + "/curl.bin";
        double peer = bench::peer(fmt::format("curl -s -o '{}' '{}' && sync '{}'", peerFile, url, peerFile));
        state.SetIterationTime(ours);
        state.counters["ratioToCurl"] = ours / peer;
        state.counters["rssGrowthKiB"] = static_cast<double>(growth);
        state.counters["sameSHA256"] = item->downloadState() == VKNetworkStateDone && sha256(item->path()) == sha256(peerFile);
        if (state.counters["sameSHA256"] == 0)
            bench::wrongAnswer("the download did not end with curl's bytes");
        bench::atMost("1 GiB download / curl and sync", ours / peer, 1.2, "x",
            fmt::format("{:.2f} s, curl {:.2f} s", ours, peer));
        bench::atMost("peak memory grown", double(growth) / 1024, 32, "MiB");
        core::fs::removeItem(item->path());
        core::fs::removeItem(peerFile);
    }
    std::filesystem::remove_all(home);
}
BENCHMARK(DownloadManagerAgainstCurl)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
