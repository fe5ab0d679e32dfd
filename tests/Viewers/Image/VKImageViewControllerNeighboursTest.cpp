// What the picture viewer prepares and gives up around the shown picture:
// the neighbour in the direction of travel preloaded (not on a low-memory
// device outside a show), a shuffled show drawing every other picture once
// a pass, a memory warning trading the full picture for a preview, and a
// picture still in the cloud waiting behind its placeholder for one fetch,
// then loading from the fetched file.

#include "ImageTestSupport.h"
#include "ImageViewerTestCase.h"

#include "Viewers/Image/VKImageView.h"

#include "Shell/DeviceMemoryAdditions.h"
#include "Shell/VKApplication.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKThumbnailManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/Screen.h"
#include "Shell/Interface/VKPlaceholderView.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
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
        for (auto name : { VKThumbnailManagerDidGenerateThumbnailNotification,
                 VKThumbnailManagerDidGeneratePreviewNotification }) {
            m_observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
                [this](const VKThumbnailNews& news) {
                    if (news.resource)
                        prepared.insert(news.resource->name());
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
    EXPECT_TRUE(viewer->isSlideShowActiveForTesting());
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
        ASSERT_TRUE(viewer->slideShowResourcesForTesting());
        EXPECT_EQ(viewer->slideShowResourcesForTesting()->size(), size_t(4 - slide));
    }
    // Not the one shown when the show began, and none twice.
    std::vector<std::string> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string> { "a.jpg", "b.jpg", "d.jpg", "e.jpg", "f.jpg" }));
    // Without repeat the pass is the show.
    advance(4.0);
    runLoop();
    EXPECT_FALSE(viewer->isSlideShowActiveForTesting());
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

TEST_F(VKImageViewControllerNeighboursTest, CloudPicturesWaitBehindThePlaceholderForOneFetchEach)
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
    for (const char* name : { "/p.jpg", "/q.jpg" }) {
        auto node = store->insertObjectForPath(folder + name);
        ASSERT_TRUE(node);
        node->setSize(5000);
    }
    ASSERT_TRUE(store->saveContext());
    auto first = VKFileResource::resourceWithPath(folder + "/p.jpg");
    auto second = VKFileResource::resourceWithPath(folder + "/q.jpg");
    ASSERT_TRUE(first && first->isCloudResource() && second);
    host->files = { first, second };
    auto fetches = [&](const std::string& cloudPath) {
        auto calls = service->calls();
        return std::count(calls.begin(), calls.end(), "fetchResource " + cloudPath);
    };
    auto notice = [&](core::NoticeName<VKCloudServiceNews> name, const std::string& cloudPath, bool cacheValid = false) {
        core::NotificationCenter::defaultCenter().post(name, service,
            { cloudPath, folder + cloudPath.substr(7), std::nullopt, cacheValid });
    };

    // The first picture: the viewer's fetch, behind the placeholder.
    viewer = VKImageViewController::imageViewControllerWithResource(first, host);
    navigation->pushViewController(viewer, false);
    runLoop();
    advance(0.5);
    EXPECT_FALSE(viewer->contentView());
    EXPECT_EQ(fetches("/Photos/p.jpg"), 1);
    notice(VKCloudServiceFetchWillStartDownloadNotification, "/Photos/p.jpg");
    ASSERT_TRUE(viewer->placeholderView()->label());
    EXPECT_EQ(viewer->placeholderView()->label()->text(), "Loading " + VKBytesFormatter::sharedFormatter().formatBytesAsString(5000));
    EXPECT_EQ(viewer->placeholderView()->label()->textColor(), gfx::Color::white(1));
    ASSERT_TRUE(core::fs::createDirectory(folder, true));
    ASSERT_TRUE(writeQuarteredJPEG(folder + "/p.jpg", 64, 48));
    // The fetch's listing gave the file its size.
    store->managedObjectForPath(folder + "/p.jpg")->setSize(int64_t(first->localSize()));
    notice(VKCloudServiceFetchDidCompleteNotification, "/Photos/p.jpg");
    runLoop();
    waitForLoad();
    ASSERT_TRUE(viewer->contentView());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return viewer->fullImage() != nullptr; }, 20));
    advance(1);
    EXPECT_EQ(imageView().image(), viewer->fullImage());
    EXPECT_TRUE(viewer->placeholderView()->isProgressViewHidden());

    // The next one is fetched ahead by the picture viewer itself; reached
    // by a swipe while that fetch runs, it shows the progress at once over
    // the shown picture, sliding in from the side of travel.
    EXPECT_EQ(fetches("/Photos/q.jpg"), 1);
    service->setFetching(true);
    driver.drag({ 160, 240 }, { 60, 240 }, 5, 0.1);
    runLoop();
    EXPECT_EQ(shownName(), "q.jpg");
    EXPECT_EQ(imageView().image(), VKImageViewController::transparentImagePlaceholder());
    EXPECT_EQ(fetches("/Photos/q.jpg"), 1);
    auto* label = viewer->placeholderView()->label();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), "q.jpg");
    EXPECT_TRUE(viewer->placeholderView()->isCancelButtonHidden());
    const float resting = label->center().x;
    EXPECT_GT(label->layer().presentation().position.x, resting + 100) << "from the right, going forward";
    advance(1);
    EXPECT_FLOAT_EQ(label->layer().presentation().position.x, resting);
    service->setFetching(false);

    // A thumbnail of an older version of the file lies in the cache.
    auto cached = VKThumbnailManager::sharedManager()->thumbnailCachePathForResource(*second);
    ASSERT_TRUE(cached);
    ASSERT_TRUE(core::fs::createDirectory(core::path::deletingLastPathComponent(*cached), true));
    ASSERT_TRUE(core::fs::writeFileAtomically(*cached, "an older thumbnail"));

    // The file arrives; the cache was not valid, so that thumbnail goes.
    ASSERT_TRUE(writeQuarteredJPEG(folder + "/q.jpg", 64, 48));
    notice(VKCloudServiceFetchDidCompleteNotification, "/Photos/q.jpg");
    runLoop();
    waitForLoad();
    // Read on the image queue's worker, which has no mirror to ask for a
    // cloud file's path: the path travels with the request.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return imageView().image() == viewer->fullImage() && viewer->fullImage(); }, 20))
        << "the fetched picture loads";
    EXPECT_EQ(imageView().transitionType(), "fade");
    EXPECT_TRUE(viewer->preloadedResources().contains(second->UUID()));
    EXPECT_FALSE(core::fs::exists(*cached));
    EXPECT_EQ(fetches("/Photos/q.jpg"), 1) << "fetched once";
    EXPECT_EQ(fetches("/Photos/p.jpg"), 1);
}

} // namespace
} // namespace test
