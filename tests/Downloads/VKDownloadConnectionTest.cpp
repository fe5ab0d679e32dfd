#include "DownloadTestCase.h"

#include "FileModel/VKDownloadHooks.h"
#include "Kit/URLRequestAdditions.h"
#include "Platform/Core/ErrorValue.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Thread.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using test::DownloadTestCase;
using test::TestWebServer;

constexpr size_t MiB = 1 << 20;

class VKDownloadConnectionTest : public DownloadTestCase {
protected:
    // Runs the item until it is done or stopped with an error.
    static bool runToEnd(const VKDownloadFileResource& item)
    {
        return waitFor([&] {
            return item.downloadState() == VKNetworkStateDone
                || (item.downloadState() == VKNetworkStatePaused && item.downloadError());
        });
    }

    // Bytes the server sent under /resource/NAME when answering in full.
    static std::string whole(size_t length) { return TestWebServer::expectedBytes(0, length); }

    // The bytes the item received so far, written or not.
    static uint64_t receivedBytes(const VKDownloadFileResource& item)
    {
        return uint64_t(double(item.downloadProgress()) * double(item.expectedSize()));
    }
    static uint64_t sizeOnDisk(const std::string& path)
    {
        auto attributes = core::fs::attributes(path);
        return attributes ? attributes->size : 0;
    }
};

// Holds back every file write off the test's thread (a disk slower than the
// network) until released; released at the latest when it goes.
class SlowDisk {
public:
    SlowDisk()
    {
        core::FileTestHooks::setWriteHook([state = m_state, main = std::this_thread::get_id()](size_t) {
            if (std::this_thread::get_id() == main)
                return;
            std::unique_lock lock(state->mutex);
            state->waiting = true;
            state->wake.wait(lock, [&] { return state->released; });
        });
    }
    ~SlowDisk()
    {
        core::FileTestHooks::setWriteHook(nullptr);
        std::lock_guard lock(m_state->mutex);
        m_state->released = true;
        m_state->wake.notify_all();
    }
    bool writerWaits()
    {
        std::lock_guard lock(m_state->mutex);
        return m_state->waiting;
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool released = false;
        bool waiting = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

TEST_F(VKDownloadConnectionTest, ABodyArrivingFasterThanItIsWrittenEndsWholeBeforeItIsDone)
{
    constexpr size_t Length = 24 * MiB;
    server->setResource("fast", fmt::format("length={}&ranges=1&etag=f", Length));
    const std::string reference = makeFile("reference", whole(Length));
    auto disk = std::make_unique<SlowDisk>();
    auto item = start("/resource/fast");
    // More than the writer's backlog arrives while nothing reaches the disk;
    // the main loop goes on meanwhile.
    ASSERT_TRUE(waitFor([&] { return receivedBytes(*item) > 8 * MiB && disk->writerWaits(); }));
    EXPECT_EQ(sizeOnDisk(item->downloadPath()), 0u);
    EXPECT_EQ(item->downloadState(), VKNetworkStateDownloading);

    uint64_t sizeWhenDone = 0;
    auto observation = item->observeValueForKey("downloadState", [&] {
        if (item->downloadState() == VKNetworkStateDone)
            sizeWhenDone = sizeOnDisk(item->path());
    });
    disk.reset();
    ASSERT_TRUE(runToEnd(*item));
    ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
    // Done only once every byte is written and the file is in place.
    EXPECT_EQ(sizeWhenDone, Length);
    EXPECT_EQ(sha256(item->path()), sha256(reference));
    EXPECT_FALSE(core::fs::exists(item->downloadPath()));
    EXPECT_EQ(received("/resource/fast").size(), 1u);
}

TEST_F(VKDownloadConnectionTest, AFailedWriteFailsTheDownloadOnceAndTouchesNoOtherFile)
{
    constexpr size_t Length = 4 * MiB;
    server->setResource("data.bin", fmt::format("length={}&ranges=1", Length));
    makeFile("Documents/data.bin", "old");
    int failures = 0;
    auto observation = core::NotificationCenter::defaultCenter().observe(VKDownloadManagerDownloadDidFailNotification,
        nullptr, [&](const core::Notification&) { ++failures; });
    // The disk fills after the first pieces.
    std::atomic<int> writes { 0 };
    core::FileTestHooks::setWriteHook([&, main = std::this_thread::get_id()](size_t) {
        if (std::this_thread::get_id() != main && ++writes == 3)
            core::FileTestHooks::failNextWrite(ENOSPC);
    });
    auto item = start("/resource/data.bin");
    ASSERT_TRUE(runToEnd(*item));
    EXPECT_TRUE(core::Thread::waitForAll(10));
    core::RunLoop::current().runUntilIdle();
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(item->downloadError()->localizedDescription(), "Failed to write to file.");
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(readFile(inDocuments("data.bin")), "old");
    EXPECT_FALSE(core::fs::exists(inDocuments("data 1.bin")));
    // What was written before the failure is the body's beginning, kept
    // for a resume, which ends the file whole.
    std::string partial = readFile(item->downloadPath());
    EXPECT_GT(partial.size(), 0u);
    EXPECT_TRUE(partial == whole(Length).substr(0, partial.size()));
    core::FileTestHooks::reset();
    manager()->resumeDownloadForResource(item);
    ASSERT_TRUE(runToEnd(*item));
    ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
    EXPECT_TRUE(readFile(item->path()) == whole(Length));
    EXPECT_EQ(received("/resource/data.bin")[1].header("Range"), fmt::format("bytes={}-", partial.size()));
}

TEST_F(VKDownloadConnectionTest, APauseWritesWhatArrivedAndTheResumeWaitsForTheLastWrite)
{
    constexpr size_t Length = 24 * MiB;
    server->setResource("queued", fmt::format("length={}&ranges=1&etag=q", Length));
    auto disk = std::make_unique<SlowDisk>();
    auto item = start("/resource/queued");
    ASSERT_TRUE(waitFor([&] { return receivedBytes(*item) > 8 * MiB && disk->writerWaits(); }));
    const uint64_t arrived = receivedBytes(*item);
    manager()->stopDownloadForResource(item);
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);

    // The writer still holds what arrived: the resume measures the partial
    // file only once it is closed, so no request goes out yet.
    manager()->resumeDownloadForResource(item);
    core::RunLoop::current().runUntilIdle();
    EXPECT_EQ(item->downloadState(), VKNetworkStateConnecting);
    EXPECT_EQ(core::activeBackgroundTaskCount(), 0u);
    disk.reset();
    ASSERT_TRUE(runToEnd(*item));
    ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
    EXPECT_TRUE(readFile(item->path()) == whole(Length));
    auto requests = received("/resource/queued");
    ASSERT_EQ(requests.size(), 2u);
    // Nothing that arrived before the pause is asked for again.
    auto range = requests[1].header("Range");
    ASSERT_TRUE(range);
    EXPECT_TRUE(range->starts_with("bytes="));
    EXPECT_GE(std::stoull(range->substr(6)), arrived);
}

TEST_F(VKDownloadConnectionTest, ADroppedDownloadResumesByRangeAndEndsWhole)
{
    server->setResource("big", fmt::format("length={}&ranges=1&etag=v1&drop_after={}", 8 * MiB, 3 * MiB));
    auto item = start("/resource/big");
    EXPECT_EQ(item->downloadState(), VKNetworkStateConnecting);
    ASSERT_TRUE(runToEnd(*item));
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(item->downloadError()->code(), net::URLError::NetworkConnectionLost);
    EXPECT_EQ(core::fs::attributes(item->downloadPath())->size, 3 * MiB);
    EXPECT_FALSE(core::fs::exists(inDocuments("big")));

    manager()->resumeDownloadForResource(item);
    ASSERT_TRUE(runToEnd(*item));
    ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
    EXPECT_EQ(readFile(inDocuments("big")), whole(8 * MiB));
    auto requests = received("/resource/big");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].header("Range"));
    EXPECT_EQ(requests[1].header("Range"), fmt::format("bytes={}-", 3 * MiB));
    EXPECT_FALSE(core::fs::exists(item->downloadInfoPath()));
    EXPECT_FALSE(core::fs::exists(item->downloadPath()));
}

TEST_F(VKDownloadConnectionTest, AChangedFileOrAServerWithoutRangesStartsAgainFromZero)
{
    struct Case {
        const char* name;
        const char* first; // the resource as the first request meets it
        const char* resumed; // and as the resume meets it
        bool rangeAsked;
        size_t requests;
        size_t length;
    };
    const char* ranged = "length=4000&ranges=1&etag=v1&drop_after=1000";
    for (const auto& c : { Case { "etag", ranged, "length=4000&ranges=1&etag=v2", true, 3, 4000 },
             Case { "total", ranged, "length=5000&ranges=1&etag=v1", true, 3, 5000 },
             Case { "ignored", ranged, "length=4000&etag=v1", true, 3, 4000 },
             Case { "refused", ranged, "length=500&ranges=1&etag=v1", true, 3, 500 },
             Case { "noranges", "length=4000&etag=v1&drop_after=1000", "length=4000&ranges=1&etag=v1", false, 2, 4000 },
             Case { "noetag", ranged, "length=4000&ranges=1", true, 2, 4000 } }) {
        SCOPED_TRACE(c.name);
        std::string path = std::string("/resource/") + c.name;
        server->setResource(c.name, c.first);
        auto item = start(path);
        ASSERT_TRUE(runToEnd(*item));
        server->setResource(c.name, c.resumed);
        manager()->resumeDownloadForResource(item);
        ASSERT_TRUE(runToEnd(*item));
        ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
        EXPECT_EQ(readFile(item->path()), whole(c.length));
        auto requests = received(path);
        ASSERT_EQ(requests.size(), c.requests);
        EXPECT_EQ(requests[1].header("Range").has_value(), c.rangeAsked);
        // A refused resume is asked again whole.
        if (c.requests == 3) {
            EXPECT_FALSE(requests[2].header("Range"));
        }
    }
}

TEST_F(VKDownloadConnectionTest, HTTPSNeverResumes)
{
    server.emplace(pathInHome("tls-server"), TestWebServer::Options { .tls = true });
    net::URLConnection::setCAFile(server->caFile());
    auto item = manager()->startWebDownloadWithRequest(
        core::URLRequest(core::URL::parse(server->tlsURL("/bytes/4000?ranges=1&drop_after=1000")).value()), documents());
    ASSERT_TRUE(runToEnd(*item));
    manager()->resumeDownloadForResource(item);
    ASSERT_TRUE(runToEnd(*item));
    auto requests = received("/bytes/4000");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].header("Range"));
}

TEST_F(VKDownloadConnectionTest, NamesComeFromTheAnswerOnlyForScriptsAndNamesWithoutExtension)
{
    auto named = [&](const char* folder, const char* name) {
        auto r = request("/bytes/10?disposition=report.pdf");
        if (*name)
            setSuggestedFilename(r, name);
        core::fs::createDirectory(inDocuments(folder), true);
        return manager()->startWebDownloadWithRequest(r, inDocuments(folder));
    };
    auto php = named("a", "download.php");
    auto text = named("b", "notes.txt");
    auto bare = named("c", ""); // "10", from the URL
    for (auto& item : { php, text, bare })
        ASSERT_TRUE(runToEnd(*item));
    EXPECT_EQ(php->path(), inDocuments("a/report.pdf"));
    EXPECT_EQ(text->path(), inDocuments("b/notes.txt"));
    EXPECT_EQ(bare->path(), inDocuments("c/report.pdf"));
    EXPECT_EQ(readFile(inDocuments("a/report.pdf")), whole(10));
}

TEST_F(VKDownloadConnectionTest, DataURLsAreDecodedHere)
{
    auto start = [&](const char* url) {
        return manager()->startWebDownloadWithRequest(core::URLRequest(core::URL::parse(url).value()), documents());
    };
    auto text = start("data:text/plain;charset=UTF-8,Hello%20World");
    auto base64 = start("data:application/octet-stream;base64,AAEC/w==");
    auto odd = start("data:text/plain;charset=x-no-such,caf%C3%A9");
    auto bad = start("data:text/plain;charset=UTF-8,%FF%FE");
    for (auto& item : { text, base64, odd })
        ASSERT_TRUE(waitForState(*item, VKNetworkStateDone)) << item->description();
    EXPECT_EQ(text->name(), "text.plain");
    EXPECT_EQ(readFile(inDocuments("text.plain")), "Hello World");
    EXPECT_EQ(readFile(base64->path()), std::string("\x00\x01\x02\xff", 4));
    EXPECT_EQ(readFile(odd->path()), "caf\xc3\xa9");
    ASSERT_TRUE(waitFor([&] { return bad->downloadError().has_value(); }));
    EXPECT_EQ(bad->downloadError()->code(), -1015);
    EXPECT_EQ(bad->downloadError()->localizedDescription(), "Failed to save URL data.");
}

TEST_F(VKDownloadConnectionTest, FailuresKeepThePartialDataAndPause)
{
    // A full disk.
    server->setResource("disk", "length=100000");
    core::FileTestHooks::failNextWrite(ENOSPC);
    auto full = start("/resource/disk");
    ASSERT_TRUE(runToEnd(*full));
    EXPECT_EQ(full->downloadError()->code(), 512);
    EXPECT_EQ(full->downloadError()->localizedDescription(), "Failed to write to file.");
    EXPECT_TRUE(logContains("NSFileHandle writeData error: "));

    // The partial file changed under a resume: the body no longer fits it.
    server->setResource("moved", "length=100000&ranges=1&drop_after=50000");
    auto moved = start("/resource/moved");
    ASSERT_TRUE(runToEnd(*moved));
    server->setResource("moved", "length=100000&ranges=1");
    // Between the answer's check and its first bytes something else
    // empties the partial file.
    auto observation = moved->observeValueForKey("downloadState", [&] {
        if (moved->downloadState() == VKNetworkStateDownloading)
            core::fs::writeFileAtomically(moved->downloadPath(), "");
    });
    manager()->resumeDownloadForResource(moved);
    ASSERT_TRUE(waitFor([&] { return moved->downloadError() && moved->downloadState() == VKNetworkStatePaused; }));
    EXPECT_EQ(moved->downloadError()->localizedDescription(), "Failed to open file.");
    EXPECT_TRUE(logContains("Warning, VKDownloadConnection failed to open file for writing: "));
}

TEST_F(VKDownloadConnectionTest, AnErrorPageIsNeverSavedAsTheFile)
{
    server->setResource("page", "length=4000&ranges=1&drop_after=1000");
    auto item = start("/resource/page");
    ASSERT_TRUE(runToEnd(*item));
    server->setResource("page", "status=500");
    manager()->resumeDownloadForResource(item);
    ASSERT_TRUE(waitFor([&] { return item->downloadError() && item->downloadError()->code() != -1005; }));
    EXPECT_EQ(item->downloadError()->domain(), net::URLErrorDomain);
    EXPECT_EQ(item->downloadError()->code(), -1011);
    EXPECT_NE(item->downloadError()->localizedDescription().find("500"), std::string::npos);
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    // The earlier bytes stay for a later resume; nothing landed.
    EXPECT_EQ(readFile(item->downloadPath()), whole(1000));
    EXPECT_FALSE(core::fs::exists(item->path()));

    auto missing = start("/resource/none");
    ASSERT_TRUE(runToEnd(*missing));
    EXPECT_EQ(missing->downloadError()->code(), -1011);
    EXPECT_FALSE(core::fs::exists(missing->path()));
}

TEST_F(VKDownloadConnectionTest, CancelPausesAndSavesButLeavesAFinishedDownloadAlone)
{
    server->setResource("slow", "length=100000&stall_after=10&token=s");
    auto item = start("/resource/slow");
    ASSERT_TRUE(waitForState(*item, VKNetworkStateDownloading));
    EXPECT_EQ(core::activeBackgroundTaskCount(), 1u);
    core::fs::removeItem(item->downloadInfoPath());
    // Background time running out cancels.
    core::expireBackgroundTasksForTesting();
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    EXPECT_TRUE(core::fs::exists(item->downloadInfoPath()));
    EXPECT_FALSE(manager()->hasActiveDownloads());
    server->release("s");

    auto done = VKDownloadConnection::create(start("/bytes/10"));
    done->resource()->setDownloadState(VKNetworkStateDone);
    core::fs::removeItem(done->resource()->downloadInfoPath());
    done->cancel();
    EXPECT_EQ(done->resource()->downloadState(), VKNetworkStateDone);
    EXPECT_FALSE(core::fs::exists(done->resource()->downloadInfoPath()));
}

} // namespace
