#include "DownloadTestCase.h"

#include "Kit/VKHomeLayout.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/PropertyList.h"
#include "Support/RerunTest.h"

#include <fmt/format.h>

#include <cstdio>

namespace {

using test::DownloadTestCase;
using test::TestWebServer;

constexpr size_t KillMiB = 1 << 20;

class VKDownloadKillTest : public DownloadTestCase { };

TEST_F(VKDownloadKillTest, ADownloadKilledMidwayIsRestoredAndCompletedByRange)
{
    if (auto shared = test::rerunValue("TANDRY_DOWNLOAD_CHILD")) {
        // The child: downloads into the parent's home until the server
        // stalls, says so, and waits to be killed.
        auto bar = shared->find('|');
        core::paths::setHome(shared->substr(0, bar));
        VKHomeLayout::setCurrent(nullptr);
        VKDownloadManager::resetSharedManagerForTesting();
        auto item = manager()->startWebDownloadWithRequest(
            core::URLRequest(core::URL::parse(shared->substr(bar + 1)).value()), documents());
        // Stalled once the bytes are in the partial file, not merely
        // received: the writer's thread puts them there a little later.
        waitFor([&] {
            auto partial = core::fs::attributes(item->downloadPath());
            return partial && partial->size >= 3 * KillMiB;
        });
        std::printf("stalled %llu\n", static_cast<unsigned long long>(item->size()));
        std::fflush(stdout);
        core::RunLoop::current().runUntil([] { return false; }, 60);
        return;
    }

    server->setResource("k", fmt::format("length={}&ranges=1&etag=k&stall_after={}&token=k", 8 * KillMiB, 3 * KillMiB));
    auto child = test::rerunCurrentTest("TANDRY_DOWNLOAD_CHILD", home() + "|" + server->url("/resource/k"));
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] { return child->output().find("stalled") != std::string::npos || !child->isRunning(); }, 60));
    ASSERT_TRUE(child->isRunning()) << child->errors();
    child->kill();
    server->release("k");

    // What the killed process left: a readable state file, the partial
    // data, and nothing under the final name.
    auto infos = core::fs::contentsOfDirectory(downloads()).value_or(std::vector<std::string>());
    std::string info;
    for (auto& name : infos)
        if (name.ends_with(".info"))
            info = core::path::appendingPathComponent(downloads(), name);
    ASSERT_FALSE(info.empty());
    EXPECT_TRUE(xmllintAccepts(info));
    EXPECT_NE(plistlibKeys(info).find("Response bytes"), std::string::npos);
    EXPECT_FALSE(core::fs::exists(inDocuments("k")));

    manager()->initializeDownloads();
    ASSERT_EQ(manager()->webDownloads().size(), 1u);
    auto item = manager()->webDownloads()[0];
    EXPECT_EQ(item->downloadState(), VKNetworkStatePaused);
    EXPECT_EQ(item->path(), inDocuments("k"));
    manager()->resumeDownloadForResource(item);
    // The final name never holds less than the whole file (it is renamed
    // there by the writer just before the download is done).
    ASSERT_TRUE(waitFor([&] {
        auto attributes = core::fs::attributes(inDocuments("k"));
        EXPECT_TRUE(!attributes || attributes->size == 8 * KillMiB);
        return item->downloadState() == VKNetworkStateDone || item->downloadError();
    }));
    ASSERT_EQ(item->downloadState(), VKNetworkStateDone);
    std::string whole = pathInHome("whole");
    core::fs::writeFileAtomically(whole, TestWebServer::expectedBytes(0, 8 * KillMiB));
    EXPECT_EQ(sha256(inDocuments("k")), sha256(whole));
    auto requests = received("/resource/k");
    ASSERT_EQ(requests.size(), 2u);
    auto range = requests[1].header("Range");
    ASSERT_TRUE(range);
    EXPECT_TRUE(range->starts_with("bytes=")) << *range;
    EXPECT_NE(*range, "bytes=0-");
}

} // namespace
