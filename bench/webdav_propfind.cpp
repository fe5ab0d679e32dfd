// bench: tandry_webdav
// PROPFIND with Depth infinity over a folder of 1,000 and of 10,000 files,
// made in the current folder (a disk, not tmpfs), answered in process with a
// stand-in connection. Targets: time grows linearly (10,000 within 12x of
// 1,000), the heap held while the answer is built stays within 4 KiB per
// listed item (counter "heapBytesPerItem"), and repeats do not grow it.

#include "FileModel/VKQuotaManager.h"
#include "HTTP/HTTPMessageRequest.h"
#include "Kit/URLAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "WebDAV/WebDAVPropFindResponse.h"
#include "WebDAV/WebDAVResponseDelegate.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fmt/format.h>
#include <malloc.h>
#include <unistd.h>

namespace {

class Delegate : public WebDAVResponseDelegate {
public:
    explicit Delegate(std::string root) : m_root(std::move(root)) { }
    std::optional<core::URL> localHost() override { return std::nullopt; }
    std::optional<std::string> localPathForURI(const core::URL& uri) override
    {
        return core::path::appendingPathComponent(m_root, uri.standardized().path());
    }
    std::optional<core::URL> URIForLocalPath(const std::string&) override { return std::nullopt; }
    void webDAVResponse(WebDAVResponse&, const core::URL&) override { }
    std::optional<WebDAVResourceList> webDAVResponse(WebDAVResponse&, const WebDAVResource& resource,
        std::string_view depth) override
    {
        return resource.subresourcesToDepth(depth);
    }
    bool isMutableURI(const core::URL&) override { return true; }
    void webDAVResponseDidEnd(WebDAVResponse& response, WebDAVResponseEnd) override { bodyBytes = response.bodyLength(); }

    uint64_t bodyBytes = 0;

private:
    std::string m_root;
};

const std::string& tree(int files)
{
    static std::map<int, std::string> made;
    auto& path = made[files];
    if (path.empty()) {
        path = std::filesystem::current_path() / fmt::format("webdav-bench-{}-{}", getpid(), files);
        for (int i = 0; i < files; ++i) {
            std::string folder = fmt::format("{}/f{:03}", path, i / 100);
            core::fs::createDirectory(folder, true);
            core::fs::writeFileAtomically(fmt::format("{}/file{:05}.txt", folder, i), "some text\n");
        }
        std::atexit([] {
            for (auto& [count, folder] : made)
                std::filesystem::remove_all(folder);
        });
    }
    return path;
}

void PropfindInfinity(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const std::string& root = tree(files);
    core::paths::setHome(root);
    VKQuotaManager::setDefaultManagerForTesting(VKQuotaManager::create(root, root + "/Servers"));
    Delegate delegate(root);
    size_t heapPeak = 0;
    for (auto _ : state) {
        auto request = HTTPMessageRequest::create();
        request->appendBytes(std::string_view("PROPFIND / HTTP/1.1\r\nHost: h\r\nDepth: infinity\r\n\r\n"));
        size_t before = mallinfo2().uordblks;
        auto response = WebDAVPropFindResponse::create(request, &delegate);
        response->start();
        heapPeak = std::max(heapPeak, mallinfo2().uordblks - before);
        benchmark::DoNotOptimize(response);
    }
    const int items = files + files / 100 + 1;
    state.counters["heapBytesPerItem"] = double(heapPeak) / items;
    state.counters["answerBytes"] = double(delegate.bodyBytes);
    if (delegate.bodyBytes == 0)
        bench::wrongAnswer("the PROPFIND answered nothing");
    bench::atMost(fmt::format("heap per listed item, {} files", files), double(heapPeak) / items, 4096, "bytes");
    state.SetItemsProcessed(state.iterations() * items);
}

BENCHMARK(PropfindInfinity)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(20);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("PROPFIND Depth infinity, 10,000 / 1,000 files",
        bench::runSeconds("PropfindInfinity/10000") / bench::runSeconds("PropfindInfinity/1000"), 12, "x");
});

} // namespace
