// bench: tandry_cloud_operations tandry_cloud tandry_dropbox_sdk tandry_filemodel tandry_shell tandry_kit tandry_test_support tandry_test_support_dropbox
// Uploads through the upload operation to the fake cloud service on
// loopback, beside the peers doing the same work in the same run:
// - a 256 MiB file: the operation (staging copy into the mirror, then the
//   multipart upload) against `cp` of the file plus `curl -F` posting the
//   same signed form, in turns (medians of four, who goes first
//   alternating); target within 1.5x of the peers' time, and
//   "peak_rss_growth_MiB" under 32 (nothing is held whole);
// - staging folders of 2,000 and 4,000 small files (node inserts and the
//   merge into the main store), in turn: the larger within 2.5x of the
//   smaller.
// Both sides talk plain HTTP (the base URL settings), so that the fake's
// TLS in Python is not what is measured.

#include "Shell/VKApplication.h"
#include "CloudOperations/VKCloudUploadOperation.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Cloud/VKDropboxCloudService.h"
#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRestClient.h"
#include "DropboxSDK/DBSession.h"
#include "FileModel/VKFileResource.h"
#include "Kit/FileManagerAdditions.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"

#include "Support/Command.h"
#include "Support/DropboxSDK/FakeCloudServer.h"

#include "../PeerTiming.h"
#include "SigningClient.h"

#include "Report.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <sys/resource.h>

namespace {

constexpr int64_t FileSize = int64_t(256) << 20;

double peakRSSMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

class Waiter : public VKCloudUploadOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation&, const std::optional<core::Error>& error) override
    {
        ended = true;
        failed = error.has_value();
    }
    void cloudUploadOperationWillStart(VKCloudUploadOperation&) override { staged = true; }
    void showActionSheet(const std::shared_ptr<ui::ActionSheet>&, VKCloudUploadOperation&) override { failed = ended = true; }
    bool ended = false;
    bool staged = false;
    bool failed = false;
};

// One home, one fake, the registered service and its mirror for the run.
struct World {
    World()
    {
        core::RunLoop::setMainThread();
        std::string pattern = std::filesystem::temp_directory_path() / "tandry-bench-upload-XXXXXX";
        home = mkdtemp(pattern.data());
        core::paths::setHome(home);
        setTrashPathProvider([] { return VKApplication::sharedApplication()->metadataSubdirectory("Trash"); });
        server = std::make_unique<test::FakeCloudServer>();
        session = server->linkSession();
        auto defaults = core::UserDefaults::standard();
        defaults->set(VKCloudAPIBaseURL, server->baseURL());
        defaults->set(VKCloudContentBaseURL, server->baseURL());
        service = VKDropboxCloudService::create();
        auto registered = service;
        VKCloudServicesManager::sharedManager()->registerCloudService([registered] { return registered; }, "Dropbox");
        auto store = VKCloudFileStore::sharedStore();
        if (auto root = store->insertObjectForPath(service->localPath()))
            root->setIsDirectory(true);
        if (auto up = store->insertObjectForPath(service->localPath() + "/Up"))
            up->setIsDirectory(true);
        store->saveContext();
        std::filesystem::create_directories(service->localPath() + "/Up");
        std::filesystem::create_directories(server->localPath("/Up"));
        source = home + "/Documents/big.bin";
        std::filesystem::create_directories(home + "/Documents");
        std::ofstream out(source, std::ios::binary);
        std::string block(1 << 20, '\0');
        for (int64_t i = 0; i < FileSize >> 20; ++i) {
            for (size_t j = 0; j < block.size(); j += 4096)
                block[j] = char(i + j);
            out.write(block.data(), std::streamsize(block.size()));
        }
    }
    ~World()
    {
        service.reset();
        core::Thread::waitForAll(10);
        server.reset();
        std::filesystem::remove_all(home);
    }

    // Forgets an item of /Up everywhere, so that no overwrite question comes.
    void forget(const std::string& name)
    {
        auto store = VKCloudFileStore::sharedStore();
        if (auto node = store->managedObjectForPath(service->localPath() + "/Up/" + name))
            store->deleteObject(node);
        store->saveContext();
        std::filesystem::remove_all(service->localPath() + "/Up/" + name);
        std::filesystem::remove_all(server->localPath("/Up/" + name));
    }

    bool upload(const std::string& path, bool stagingOnly)
    {
        auto waiter = std::make_shared<Waiter>();
        auto operation = VKCloudUploadOperation::initWithResources({ VKFileResource::resourceWithPath(path) });
        operation->setDestination(service->resourceForCloudPath("/Up"));
        operation->setDelegate(waiter);
        operation->run();
        core::RunLoop::current().runUntil([&] { return waiter->ended || (stagingOnly && waiter->staged); }, 900);
        if (stagingOnly && waiter->staged && !waiter->ended)
            operation->cancel();
        return !waiter->failed && (waiter->ended || waiter->staged);
    }

    std::string home;
    std::string source;
    std::unique_ptr<test::FakeCloudServer> server;
    std::shared_ptr<DBSession> session;
    std::shared_ptr<VKDropboxCloudService> service;
};

World& world()
{
    static World instance;
    return instance;
}

// The operation and the peers take turns, who goes first alternating, and
// their medians compare: a spell of disk traffic falls on both alike.
void BM_UploadInTurn(benchmark::State& state)
{
    World& w = world();
    auto signer = SigningClient::create(w.session);
    const std::string copy = w.home + "/copy.bin";
    const double before = peakRSSMiB();
    std::vector<double> ours, peers;
    auto operation = [&] {
        w.forget("big.bin");
        auto start = std::chrono::steady_clock::now();
        if (!w.upload(w.source, false))
            state.SkipWithError("upload failed");
        ours.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    };
    auto cpAndCurl = [&] {
        std::filesystem::remove(copy);
        const std::string url = signer->uploadRequest("peer.bin", "/Up").url().absoluteString();
        auto start = std::chrono::steady_clock::now();
        if (test::runCommand({ "cp", w.source, copy }).status != 0
            || test::runCommand({ "curl", "-s", "-f", "-o", "/dev/null", "-F",
                                      "file=@" + copy + ";filename=peer.bin;type=application/octet-stream", url })
                    .status != 0)
            state.SkipWithError("peers failed");
        peers.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    };
    for (auto _ : state) {
        if (ours.size() % 2 == 0) {
            operation();
            cpAndCurl();
        } else {
            cpAndCurl();
            operation();
        }
    }
    if (!std::filesystem::exists(w.server->localPath("/Up/big.bin"))
        || std::filesystem::file_size(w.server->localPath("/Up/big.bin")) != uint64_t(FileSize))
        bench::wrongAnswer("the service holds no whole copy of the upload");
    // The peers' post counts only if the service kept every byte of it too.
    if (!std::filesystem::exists(w.server->localPath("/Up/peer.bin"))
        || std::filesystem::file_size(w.server->localPath("/Up/peer.bin")) != uint64_t(FileSize))
        bench::wrongAnswer("the service holds no whole copy of the peers' post");
    state.counters["peak_rss_growth_MiB"] = peakRSSMiB() - before;
    state.counters["ours_s"] = bench::median(ours);
    state.counters["peers_s"] = bench::median(peers);
    state.counters["ratio"] = bench::median(ours) / bench::median(peers);
}
BENCHMARK(BM_UploadInTurn)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(4);

// Makes a folder of `count` small files to stage.
std::string smallFiles(World& w, int count)
{
    const std::string folder = fmt::format("{}/Documents/Folder{}", w.home, count);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i)
        std::ofstream(fmt::format("{}/file {:05}.txt", folder, i)) << i;
    return folder;
}

// Folders of 2,000 and 4,000 files staged in turn: the time goes to the
// disk's metadata work (a temporary file and locks per file), which
// moves several times over with what else writes to the disk, so a spell
// of that must weigh on both sizes alike.
void BM_StageFoldersInTurn(benchmark::State& state)
{
    World& w = world();
    const int counts[] = { 2000, 4000 };
    const std::string folders[] = { smallFiles(w, counts[0]), smallFiles(w, counts[1]) };
    double seconds[2] = {};
    for (auto _ : state) {
        double iteration = 0;
        for (int size = 0; size < 2; ++size) {
            const std::string name = core::path::lastPathComponent(folders[size]);
            w.forget(name);
            auto start = std::chrono::steady_clock::now();
            bool staged = w.upload(folders[size], true);
            double taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!staged) {
                state.SkipWithError("staging failed");
                return;
            }
            size_t files = 0;
            for (const auto& entry : std::filesystem::directory_iterator(w.service->localPath() + "/Up/" + name))
                files += entry.is_regular_file();
            if (files != size_t(counts[size]))
                bench::wrongAnswer(fmt::format("{} of {} files staged", files, counts[size]));
            seconds[size] += taken;
            iteration += taken;
        }
        state.SetIterationTime(iteration);
    }
    state.counters["ms_2000"] = seconds[0] * 1000 / double(state.iterations());
    state.counters["ms_4000"] = seconds[1] * 1000 / double(state.iterations());
    state.counters["ratio"] = seconds[1] / seconds[0];
    core::RunLoop::current().runUntil([] { return false; }, 1);
}
BENCHMARK(BM_StageFoldersInTurn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

[[maybe_unused]] const bool targets = bench::atEnd([] {
    bench::atMost("256 MiB upload operation / cp and curl -F", bench::runCounter("BM_UploadInTurn", "ratio"), 1.5, "x");
    bench::atMost("peak memory grown by the upload", bench::runCounter("BM_UploadInTurn", "peak_rss_growth_MiB"), 32,
        "MiB");
    bench::atMost("staging 4,000 / 2,000 small files", bench::runCounter("BM_StageFoldersInTurn", "ratio"), 2.5, "x");
});

} // namespace
