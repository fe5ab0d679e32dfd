// What the picture viewer prepares and gives up around the shown picture:
// the neighbour in the direction of travel preloaded (not on a low-memory
// device outside a show), a shuffled show drawing every other picture once
// a pass, a memory warning trading the full picture for a preview, and a
// picture still in the cloud waiting behind its placeholder for one fetch,
// then loading from the fetched file.

#include "ImageTestSupport.h"
#include "ImageViewerTestCase.h"

#include "Viewers/Image/VKImageView.h"

#include "App/Shell/DeviceMemoryAdditions.h"
#include "App/Shell/VKApplication.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKThumbnailManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Platform/UI/BarButtonItem.h"
#include "Support/Cloud/TestCloudService.h"

#include <algorithm>
#include <set>

namespace test {
namespace {

class VKImageViewControllerNeighboursTest : public ImageViewerTestCase {
protected:
    void SetUp() override
    {
        ImageViewerTestCase::SetUp();
        // The names of pictures whose thumbnail or preview was made.
        for (const char* name : { VKThumbnailManagerDidGenerateThumbnailNotification,
                 VKThumbnailManagerDidGeneratePreviewNotification }) {
            m_observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
                [this](const core::Notification& notification) {
                    auto resource = notification.userInfo()[VKThumbnailManagerResourceUserInfoKey]
                                        .objectAs<VKFileResource>();
                    if (resource)
                        prepared.insert(resource->name());
                }));
        }
    }
    void TearDown() override
    {
        m_observations.clear();
        vkSetSystemTotalMemoryForTesting(std::nullopt);
        gfx::Screen::main().reset();
        ImageViewerTestCase::TearDown();
        core::Thread::waitForAll(10);
        VKCloudFileStore::resetForTesting();
        VKCloudServicesManager::resetForTesting();
        VKCloudHooks::setCurrent(nullptr);
    }
    core::UserDefaults& defaults() { return *core::UserDefaults::standard(); }
    bool preparedSoon(const std::string& name)
    {
        return core::RunLoop::main().runUntil([&] { return prepared.contains(name); }, 10);
    }
    // Real time for the thumbnail manager's worker, then the loop.
    void settleWorkers()
    {
        core::RunLoop::main().runUntil([] { return false; }, 0.5);
        runLoop();
    }
    void swipe(float dx)
    {
        driver.drag({ 160, 240 }, { 160 + dx, 240 }, 5, 0.1);
        waitForLoad();
    }

    std::set<std::string> prepared;

private:
    std::vector<core::Observation> m_observations;
};

TEST_F(VKImageViewControllerNeighboursTest, TheNeighbourAheadIsPreparedButNotOnALowMemoryDeviceOutsideAShow)
{
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg", "d.jpg" })
        addPicture(name);
    open(host->files[1]);
    EXPECT_TRUE(preparedSoon("c.jpg")) << "forward at first";
    settleWorkers();
    EXPECT_FALSE(prepared.contains("a.jpg"));

    // Travelling backwards prepares the one behind.
    swipe(100);
    EXPECT_EQ(shownName(), "a.jpg");
    swipe(-100);
    swipe(-100);
    EXPECT_EQ(shownName(), "c.jpg");
    EXPECT_TRUE(preparedSoon("d.jpg"));
    prepared.clear();
    swipe(100);
    EXPECT_EQ(shownName(), "b.jpg");
    EXPECT_TRUE(preparedSoon("a.jpg"));

    // A small device prepares nothing ahead, until a show runs.
    navigation->popViewController(false);
    runLoop();
    vkSetSystemTotalMemoryForTesting(uint64_t(128) << 20);
    ASSERT_TRUE(vkIsLowMemoryDevice());
    for (const char* name : { "e.jpg", "f.jpg", "g.jpg" })
        addPicture(name);
    prepared.clear();
    open(host->files[4]);
    settleWorkers();
    EXPECT_FALSE(prepared.contains("f.jpg"));
    advance(1);
    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    EXPECT_TRUE(viewer->isSlideShowActive());
    advance(4.0);
    waitForLoad();
    EXPECT_EQ(shownName(), "f.jpg");
    EXPECT_TRUE(preparedSoon("g.jpg")) << "during a show the next is prepared";
    viewer->stopSlideShowAndUpdateButton(true);
}

TEST_F(VKImageViewControllerNeighboursTest, AShuffledShowDrawsEveryOtherPictureOnceAPass)
{
    defaults().set("VKSlideShowShuffle", core::Value(true));
    for (const char* name : { "a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg", "f.jpg" })
        addPicture(name);
    open(host->files[2]);
    advance(1);
    viewer->setUIHidden(false, false);
    driver.tapBarItem(*viewer->slideShowButtonItem());
    std::vector<std::string> shown;
    for (int slide = 0; slide < 5; ++slide) {
        advance(4.0);
        waitForLoad();
        shown.push_back(shownName());
        ASSERT_TRUE(viewer->slideShowResources());
        EXPECT_EQ(viewer->slideShowResources()->size(), size_t(4 - slide));
    }
    // Not the one shown when the show began, and none twice.
    std::vector<std::string> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string> { "a.jpg", "b.jpg", "d.jpg", "e.jpg", "f.jpg" }));
    // Without repeat the pass is the show.
    advance(4.0);
    runLoop();
    EXPECT_FALSE(viewer->isSlideShowActive());
    EXPECT_EQ(shownName(), shown.back());
}

TEST_F(VKImageViewControllerNeighboursTest, AMemoryWarningTradesTheFullPictureForAPreview)
{
    // On a large screen the picture shows as itself ...
    gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
    gfx::Screen::main().setScale(1);
    auto big = addPicture("big.jpg", 1400, 1000);
    open(big);
    ASSERT_TRUE(viewer->fullImage());
    EXPECT_FALSE(viewer->preview());
    EXPECT_EQ(imageView().image(), viewer->fullImage());

    // ... which a small one cannot keep: the warning makes the preview, and
    // the preview takes the full picture's place at its size.
    gfx::Screen::main().reset();
    ASSERT_TRUE(VKThumbnailManager::imageRequiresPreview(viewer->fullImage().get()));
    driver.memoryWarning();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return viewer->preview() != nullptr; }, 20));
    runLoop();
    EXPECT_EQ(imageView().image(), viewer->preview());
    EXPECT_EQ(imageView().nativeSize(), (gfx::Size { 1400, 1000 }));
    EXPECT_FALSE(driver.shownChoices().size());
}

TEST_F(VKImageViewControllerNeighboursTest, ACloudPictureWaitsBehindItsPlaceholderForOneFetch)
{
    auto service = TestCloudService::install("Test");
    service->setLinked(true);
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    auto store = VKCloudFileStore::sharedStore();
    ASSERT_TRUE(store->bootstrapCloudFileStore());
    const std::string folder = core::path::appendingPathComponent(VKApplication::sharedApplication()->serversDirectory(), "Test/Photos");
    auto folderNode = store->insertObjectForPath(folder);
    ASSERT_TRUE(folderNode);
    folderNode->setIsDirectory(true);
    auto node = store->insertObjectForPath(folder + "/p.jpg");
    ASSERT_TRUE(node);
    node->setSize(5000);
    ASSERT_TRUE(store->saveContext());
    auto cloud = VKFileResource::resourceWithPath(folder + "/p.jpg");
    ASSERT_TRUE(cloud && cloud->isCloudResource());
    host->files = { cloud };

    viewer = VKImageViewController::imageViewControllerWithResource(cloud, host);
    navigation->pushViewController(viewer, false);
    runLoop();
    advance(0.5);
    EXPECT_EQ(imageView().image(), VKImageViewController::transparentImagePlaceholder());
    auto calls = service->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fetchResource /Photos/p.jpg"), 1) << ::testing::PrintToString(calls);

    // A thumbnail of an older version of the file lies in the cache.
    auto cached = VKThumbnailManager::sharedManager()->thumbnailCachePathForResource(*cloud);
    ASSERT_TRUE(cached);
    ASSERT_TRUE(core::fs::createDirectory(core::path::deletingLastPathComponent(*cached), true));
    ASSERT_TRUE(core::fs::writeFileAtomically(*cached, "an older thumbnail"));

    // The file arrives; the cache was not valid, so that thumbnail goes.
    ASSERT_TRUE(core::fs::createDirectory(folder, true));
    ASSERT_TRUE(writeQuarteredJPEG(folder + "/p.jpg", 64, 48));
    core::NotificationCenter::defaultCenter().post(VKCloudServiceFetchDidCompleteNotification, service,
        core::Value::makeDictionary({ { VKCloudServiceCloudPathKey, core::Value("/Photos/p.jpg") },
            { VKCloudServiceCacheValidKey, core::Value(false) } }));
    runLoop();
    waitForLoad();
    // Read on the image queue's worker, which has no mirror to ask for a
    // cloud file's path: the path travels with the request.
    ASSERT_TRUE(viewer->fullImage()) << "the fetched picture loads";
    EXPECT_EQ(imageView().image(), viewer->fullImage());
    EXPECT_EQ(imageView().transitionType(), "fade");
    EXPECT_TRUE(viewer->preloadedResources().contains(cloud->UUID()));
    EXPECT_FALSE(core::fs::exists(*cached));
    calls = service->calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fetchResource /Photos/p.jpg"), 1) << "fetched once";
}

} // namespace
} // namespace test
