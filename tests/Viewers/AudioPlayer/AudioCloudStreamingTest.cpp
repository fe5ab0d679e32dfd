// The audio screen on a cloud file whose local copy is incomplete: the
// stream the service offers (the loopback web server) plays and is written
// to the local path, or to a temporary file while the cloud layer fetches
// the file itself; a stalled stream shows "Buffering..." until it flows.

#include "AudioPlayerTestCase.h"

#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "FileModel/VKCloudHooks.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/URL.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/LogHook.h"
#include "Support/TestWebServer.h"
#include "Viewers/AudioPlayer/VKAudioPlayerView.h"

#include "../../Audio/AudioTestSupport.h"

#include <algorithm>
#include <filesystem>

namespace {

class AudioCloudStreamingTest : public test::AudioPlayerTestCase {
protected:
    void SetUp() override
    {
        AudioPlayerTestCase::SetUp();
        if (s_track.empty())
            GTEST_SKIP() << "sox or lame missing";
        served = pathInHome("served");
        std::filesystem::create_directories(served);
        std::filesystem::copy_file(s_track, served + "/song.mp3");
        test::TestWebServer::Options options;
        options.filesDirectory = served;
        web = std::make_unique<test::TestWebServer>(pathInHome("server"), options);
        service = test::TestCloudService::install("Dropbox");
        VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
        ASSERT_TRUE(VKCloudFileStore::sharedStore()->bootstrapCloudFileStore());
    }
    void TearDown() override
    {
        AudioPlayerTestCase::TearDown();
        VKCloudHooks::setCurrent(nullptr);
        web.reset();
    }

    // The cloud node "Dropbox/Song.mp3" of the served file's size, with
    // `local` as its local copy (none when empty).
    std::shared_ptr<VKFileResource> cloudSong(const std::string& local)
    {
        localPath = core::path::appendingPathComponent(VKApplication::sharedApplication()->serversDirectory(),
            "Dropbox/Song.mp3");
        auto store = VKCloudFileStore::sharedStore();
        auto node = store->insertObjectForPath(localPath);
        node->setSize(std::filesystem::file_size(s_track));
        EXPECT_TRUE(store->saveContext());
        if (!local.empty()) {
            std::filesystem::create_directories(std::filesystem::path(localPath).parent_path());
            test::TestCase::makeFile(std::filesystem::relative(localPath, pathInHome("")).string(), local);
        }
        auto resource = VKFileResource::resourceWithPath(localPath);
        EXPECT_TRUE(resource && resource->isCloudResource());
        return resource;
    }
    void stream(const std::string& query = {})
    {
        service->setStreamingRequest(core::URLRequest(*core::URL::parse(web->url("/files/song.mp3" + query))));
    }

    bool called(const std::string& call)
    {
        auto calls = service->calls();
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    static bool logged(const std::string& start)
    {
        for (const auto& line : test::LogHook::lines())
            if (line.rfind(start, 0) == 0)
                return true;
        return false;
    }

    std::string served, localPath;
    std::unique_ptr<test::TestWebServer> web;
    std::shared_ptr<test::TestCloudService> service;
};

TEST_F(AudioCloudStreamingTest, AnIncompleteCopyIsReplacedByTheStreamAsItPlays)
{
    stream();
    auto screen = open(cloudSong("the first bytes only"));
    ASSERT_TRUE(screen->audioPlayer());
    EXPECT_TRUE(screen->audioPlayer()->isStreamingPlayer());
    EXPECT_TRUE(called("streamingURLRequest /Song.mp3"));
    EXPECT_TRUE(called("isFetching /Song.mp3"));
    const std::string whole = readFile(s_track);
    ASSERT_TRUE(test::playUntil([&] { return readFile(localPath) == whole; }, 40)) << "the local copy is the stream's";
    ASSERT_EQ(web->requests().size(), 1u);
}

TEST_F(AudioCloudStreamingTest, WhileTheCloudFetchesTheFileTheStreamStaysAside)
{
    stream();
    service->setFetching(true);
    auto screen = open(cloudSong("partial"));
    ASSERT_TRUE(screen->audioPlayer());
    ASSERT_TRUE(test::playUntil([&] { return screen->audioPlayer()->currentTime() > 2; }, 20));
    // The old local copy is gone and nothing of the stream took its place.
    EXPECT_FALSE(std::filesystem::exists(localPath));
}

TEST_F(AudioCloudStreamingTest, WithoutAStreamThereIsNoPlayer)
{
    auto screen = open(cloudSong("partial"));
    EXPECT_FALSE(screen->audioPlayer());
    EXPECT_TRUE(called("streamingURLRequest /Song.mp3"));
    EXPECT_TRUE(logged("Warning, VKAudioPlayer failed to load: "));
}

// The facade's buffering reaches the view: a stream that stalls after its
// first 30,000 bytes shows "Buffering..." with its spinner until the server
// goes on.
TEST_F(AudioCloudStreamingTest, AStalledStreamShowsBufferingUntilItFlows)
{
    stream("?stall_after=30000&token=s");
    auto screen = open(cloudSong(""));
    auto* view = screen->audioPlayerView();
    ASSERT_TRUE(view && screen->audioPlayer());
    ASSERT_TRUE(test::playUntil([&] { return screen->audioPlayer()->currentTime() > 0.5; }, 10));
    ASSERT_TRUE(test::playUntil([&] { return view->isBuffering(); }, 20));
    EXPECT_EQ(view->bufferingLabel()->text(), "Buffering...");
    EXPECT_GT(view->bufferingLabel()->alpha(), 0.0f);
    web->release("s");
    EXPECT_TRUE(test::playUntil([&] { return !view->isBuffering(); }, 10));
}

} // namespace
