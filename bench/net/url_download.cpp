// bench: tandry_platform_net tandry_test_support
// URL loading throughput and memory against the curl program, on the same
// loopback server in the same run: a 1 GiB generated body downloaded to
// /dev/null, and a 512 MiB file body uploaded. Peak RSS growth shows that
// neither is held in memory.

#include "Platform/Core/RunLoop.h"
#include "Platform/Net/URLConnection.h"

#include "Support/Command.h"
#include "Support/TestWebServer.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int64_t DownloadSize = int64_t(1) << 30;
constexpr int64_t UploadSize = int64_t(512) << 20;

test::TestWebServer& server()
{
    static const std::string directory = [] {
        std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-XXXXXX";
        return std::string(mkdtemp(pattern.data()));
    }();
    static test::TestWebServer instance(directory);
    return instance;
}

double peakRSSMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

class Sink : public net::URLConnectionDelegate {
public:
    explicit Sink(int fd) : m_fd(fd) { }
    int64_t received = 0;
    int status = 0;
    bool ended = false;
    bool failed = false;

    void didReceiveResponse(net::URLConnection&, const core::HTTPURLResponse& response) override
    {
        status = response.statusCode();
    }
    void didReceiveData(net::URLConnection&, const core::Data& data) override
    {
        received += int64_t(data.size());
        if (write(m_fd, data.bytes(), data.size()) < 0)
            failed = true;
    }
    void didFinishLoading(net::URLConnection&) override { ended = true; }
    void didFailWithError(net::URLConnection&, const core::Error&) override { ended = failed = true; }

private:
    int m_fd;
};

bool run(const core::URLRequest& request, Sink& sink)
{
    auto delegate = std::shared_ptr<Sink>(&sink, [](Sink*) { });
    auto connection = net::URLConnection::create(request, delegate);
    core::RunLoop::current().runUntil([&] { return sink.ended; }, 600);
    return sink.ended && !sink.failed;
}

void BM_DownloadURLConnection(benchmark::State& state)
{
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const auto url = core::URL::parse(server().url("/bytes/" + std::to_string(DownloadSize))).value();
    const double before = peakRSSMiB();
    for (auto _ : state) {
        Sink sink(devNull);
        if (!run(core::URLRequest(url), sink) || sink.received != DownloadSize)
            state.SkipWithError("download failed");
    }
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    state.SetBytesProcessed(state.iterations() * DownloadSize);
    close(devNull);
}
BENCHMARK(BM_DownloadURLConnection)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_DownloadCurlProgram(benchmark::State& state)
{
    const std::string url = server().url("/bytes/" + std::to_string(DownloadSize));
    for (auto _ : state) {
        if (test::runCommand({ "curl", "-s", "-o", "/dev/null", url }).status != 0)
            state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * DownloadSize);
}
BENCHMARK(BM_DownloadCurlProgram)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void BM_UploadFileBody(benchmark::State& state)
{
    // A sparse file: reading it costs no disk, so the loader's streaming is what is measured.
    const std::string path = std::filesystem::temp_directory_path() / "tandry-bench-upload.bin";
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ftruncate(fd, UploadSize) != 0)
            state.SkipWithError("cannot make the upload file");
        close(fd);
    }
    core::URLRequest request(core::URL::parse(server().url("/upload")).value());
    request.setMethod("POST");
    request.setBodyFilePath(path);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const double before = peakRSSMiB();
    for (auto _ : state) {
        Sink sink(devNull);
        if (!run(request, sink) || sink.status != 200)
            state.SkipWithError("upload failed");
    }
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    state.SetBytesProcessed(state.iterations() * UploadSize);
    close(devNull);
    unlink(path.c_str());
}
BENCHMARK(BM_UploadFileBody)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

// Neither body is held whole: the peak grows by less than 32 MiB.
[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::figure("1 GiB download, throughput / curl",
        bench::runSeconds("BM_DownloadCurlProgram") / bench::runSeconds("BM_DownloadURLConnection"), "x");
    bench::atMost("peak memory grown by the 1 GiB download",
        bench::runCounter("BM_DownloadURLConnection", "peak_rss_growth_MiB"), 32, "MiB");
    bench::atMost("peak memory grown by the 512 MiB upload", bench::runCounter("BM_UploadFileBody", "peak_rss_growth_MiB"),
        32, "MiB");
});

} // namespace
