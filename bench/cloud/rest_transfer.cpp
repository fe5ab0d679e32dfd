// bench: tandry_dropbox_sdk tandry_test_support tandry_test_support_dropbox
// The REST client's transfers against the fake cloud service, each beside
// the curl program sending the same signed request in the same run:
// - a 1 GiB file load, targeted at 0.8 of curl -o's throughput or better;
// - a 300 MiB upload (staged once more into its body file), targeted at 0.5
//   of curl -F's throughput or better;
// - "peak_rss_growth_MiB" under 32 for both (nothing held whole);
// - the longest main-loop pass while a 10,000-entry listing is loaded and
//   parsed, "longest_pass_ms", under 10 (the parse runs off the main loop);
//   "longest_pass_cpu_ms" is the same pass in the thread's processor time,
//   which a busy machine does not lengthen.
// Both sides talk plain HTTP to the fake on 127.0.0.1 (the base URL
// settings), so that the fake's TLS in Python is not what is measured.

#include "DropboxSDK/DBMetadata.h"
#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/Command.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include "SigningClient.h"

#include "Report.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int64_t DownloadSize = int64_t(1) << 30;
constexpr int64_t UploadSize = int64_t(300) << 20;
constexpr int ListingEntries = 10000;

double peakRSSMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

class Waiter : public DBRestClientDelegate {
public:
    bool respondsTo(Callback) const override { return true; }
    void loadedFile(DBRestClient&, const std::string&) override { done = true; }
    void loadFileFailedWithError(DBRestClient&, const core::Error&) override { done = failed = true; }
    void uploadedFile(DBRestClient&, const std::string&, const std::string&) override { done = true; }
    void uploadFileFailedWithError(DBRestClient&, const core::Error&) override { done = failed = true; }
    void loadedMetadata(DBRestClient&, const std::shared_ptr<const DBMetadata>& metadata) override
    {
        entries = metadata->contents() ? metadata->contents()->size() : 0;
        done = true;
    }
    void loadMetadataFailedWithError(DBRestClient&, const core::Error&) override { done = failed = true; }
    bool done = false;
    bool failed = false;
    size_t entries = 0;
};

// One home, one fake and one linked session for the whole run.
struct World {
    World()
    {
        core::RunLoop::setMainThread();
        std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-cloud-XXXXXX";
        home = mkdtemp(pattern.data());
        core::paths::setHome(home);
        server = std::make_unique<test::FakeCloudServer>();
        session = server->linkSession();
        auto defaults = core::UserDefaults::standard();
        defaults->set(VKCloudAPIBaseURL, server->baseURL());
        defaults->set(VKCloudContentBaseURL, server->baseURL());
        const int fd = open(server->localPath("/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ftruncate(fd, DownloadSize) != 0)
            abort();
        close(fd);
        std::filesystem::create_directories(server->localPath("/Up"));
        std::filesystem::create_directories(server->localPath("/Many"));
        for (int i = 0; i < ListingEntries; ++i)
            std::ofstream(server->localPath("/Many/entry-" + std::to_string(i) + ".txt")) << i;
        source = home + "/upload.bin";
        const int up = open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (up < 0 || ftruncate(up, UploadSize) != 0)
            abort();
        close(up);
    }
    ~World()
    {
        server.reset();
        std::filesystem::remove_all(home);
    }

    bool run(const std::function<void(DBRestClient&)>& start, Waiter& waiter)
    {
        auto delegate = std::shared_ptr<Waiter>(&waiter, [](Waiter*) { });
        auto client = DBRestClient::initWithSession(session);
        client->setDelegate(delegate);
        start(*client);
        core::RunLoop::current().runUntil([&] { return waiter.done; }, 900);
        return waiter.done && !waiter.failed;
    }

    std::string home;
    std::string source;
    std::unique_ptr<test::FakeCloudServer> server;
    std::shared_ptr<DBSession> session;
};

World& world()
{
    static World instance;
    return instance;
}

void BM_LoadFile(benchmark::State& state)
{
    World& w = world();
    const std::string destination = w.home + "/loaded.bin";
    const double before = peakRSSMiB();
    for (auto _ : state) {
        Waiter waiter;
        if (!w.run([&](DBRestClient& client) { client.loadFile("/big.bin", destination); }, waiter))
            state.SkipWithError("load failed");
    }
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    state.SetBytesProcessed(state.iterations() * DownloadSize);
    std::filesystem::remove(destination);
}
BENCHMARK(BM_LoadFile)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_LoadFileCurl(benchmark::State& state)
{
    World& w = world();
    auto signer = SigningClient::create(w.session);
    const std::string destination = w.home + "/curl.bin";
    for (auto _ : state) {
        const std::string url = signer->requestWithProtocol(kDBProtocolHTTPS, kDBDropboxAPIContentHost, "/files/dropbox/big.bin", {})
                                    .url().absoluteString();
        if (test::runCommand({ "curl", "-s", "-f", "-o", destination, url }).status != 0)
            state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * DownloadSize);
    std::filesystem::remove(destination);
}
BENCHMARK(BM_LoadFileCurl)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_Upload(benchmark::State& state)
{
    World& w = world();
    const double before = peakRSSMiB();
    for (auto _ : state) {
        Waiter waiter;
        if (!w.run([&](DBRestClient& client) { client.uploadFile("up.bin", "/Up", w.source); }, waiter))
            state.SkipWithError("upload failed");
    }
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    state.SetBytesProcessed(state.iterations() * UploadSize);
}
BENCHMARK(BM_Upload)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_UploadCurl(benchmark::State& state)
{
    World& w = world();
    auto signer = SigningClient::create(w.session);
    for (auto _ : state) {
        // curl -F lays the form out as the client does; the stored name is signed.
        const std::string url = signer->uploadRequest("up.bin", "/Up").url().absoluteString();
        auto sent = test::runCommand({ "curl", "-s", "-f", "-o", "/dev/null", "-F",
            "file=@" + w.source + ";filename=up.bin;type=application/octet-stream", url });
        if (sent.status != 0)
            state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * UploadSize);
}
BENCHMARK(BM_UploadCurl)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_ListingWhileTheLoopTurns(benchmark::State& state)
{
    World& w = world();
    // Every pass of the main loop from the end of its wait to the start of
    // the next (or to the delivery that ends the load), in real time and in
    // the main thread's own processor time, which a busy machine does not
    // lengthen.
    auto threadCPU = [] {
        timespec now {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1000 + double(now.tv_nsec) / 1e6;
    };
    double longest = 0;
    double longestCPU = 0;
    bool inPass = false;
    auto began = std::chrono::steady_clock::now();
    double beganCPU = 0;
    auto passEnded = [&] {
        if (!inPass)
            return;
        inPass = false;
        longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
        longestCPU = std::max(longestCPU, threadCPU() - beganCPU);
    };
    auto observation = core::RunLoop::current().addPassObserver({
        [&](double wait) {
            passEnded();
            return wait;
        },
        [&] {
            inPass = true;
            began = std::chrono::steady_clock::now();
            beganCPU = threadCPU();
        },
    });
    size_t entries = 0;
    for (auto _ : state) {
        Waiter waiter;
        auto delegate = std::shared_ptr<Waiter>(&waiter, [](Waiter*) { });
        auto client = DBRestClient::initWithSession(w.session);
        client->setDelegate(delegate);
        client->loadMetadata("/Many");
        core::RunLoop::current().runUntil([&] { return waiter.done; }, 900);
        passEnded();
        if (waiter.failed || !waiter.done)
            state.SkipWithError("listing failed");
        entries = waiter.entries;
    }
    core::Thread::waitForAll(10);
    state.counters["entries"] = double(entries);
    state.counters["longest_pass_ms"] = longest;
    state.counters["longest_pass_cpu_ms"] = longestCPU;
    bench::atMost("longest main-loop pass while 10,000 entries load", longest, 10, "ms",
        fmt::format("{:.1f} ms of CPU, {} entries", longestCPU, entries));
}
BENCHMARK(BM_ListingWhileTheLoopTurns)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    using bench::runSeconds;
    bench::atLeast("1 GiB load, throughput / curl -o", runSeconds("BM_LoadFileCurl") / runSeconds("BM_LoadFile"), 0.8, "x");
    bench::atLeast("300 MiB upload, throughput / curl -F", runSeconds("BM_UploadCurl") / runSeconds("BM_Upload"), 0.5, "x");
    bench::atMost("peak memory grown by the load", bench::runCounter("BM_LoadFile", "peak_rss_growth_MiB"), 32, "MiB");
    bench::atMost("peak memory grown by the upload", bench::runCounter("BM_Upload", "peak_rss_growth_MiB"), 32, "MiB");
});

} // namespace
