#include "FileModel/VKThumbnailManager.h"

#include "FileModel/VKFileResource.h"
#include "FileModel/VKThumbnailImageOperation.h"
#include "Kit/VKImageOperationQueue.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/ManualClock.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/Graphics/Screen.h"
#include "Support/FileModel/RecordingCloudHooks.h"
#include "Support/TestCase.h"
#include "Support/TestEnvironment.h"

#include <condition_variable>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr double Timeout = 20;

// A JPEG with an APP1 Exif block holding only the orientation, right after
// the start-of-image marker.
std::string withExifOrientation(const std::string& jpeg, int orientation)
{
    std::string tiff("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 19);
    tiff += char(orientation) + std::string("\0\0\0\0\0\0", 6);
    std::string payload = std::string("Exif\0\0", 6) + tiff;
    size_t length = payload.size() + 2;
    return jpeg.substr(0, 2) + "\xFF\xE1" + char(length >> 8) + char(length & 0xFF) + payload + jpeg.substr(2);
}

// Holds the image queue's worker until released, so that the test can line
// up work behind it.
class BlockingOperation : public VKOperation {
public:
    void run() override
    {
        std::unique_lock lock(m_mutex);
        m_started = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }
    void waitUntilStarted()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), [this] { return m_started; });
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false, m_released = false;
};

class VKThumbnailManagerTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        useNewManager();
    }

    // A fresh shared manager, as at the next launch, and its notifications.
    void useNewManager()
    {
        VKThumbnailManager::setSharedManagerForTesting(nullptr);
        manager = VKThumbnailManager::sharedManager();
        observations.clear();
        for (auto name : { VKThumbnailManagerDidGenerateThumbnailNotification,
                 core::NoticeName<VKThumbnailNews> { "VKThumbnailManagerThumbnailGenerationFailedNotification" },
                 VKThumbnailManagerDidGeneratePreviewNotification, VKThumbnailManagerPreviewGeneralFailedNotification }) {
            observations.push_back(core::NotificationCenter::defaultCenter().observe(name, manager,
                [this](const VKThumbnailNews& news, const core::Notification& notification) {
                    posted.push_back(notification.name() + " " + news.resource->name());
                }));
        }
    }

    void TearDown() override
    {
        // Nothing lined up behind the blocker may run into the next test.
        if (blocker) {
            VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
            blocker->release();
        }
        test::TestCase::TearDown();
    }

    std::shared_ptr<VKFileResource> makeImage(const std::string& relative, float width, float height, bool png = false,
        int orientation = 1)
    {
        auto context = gfx::makeImageContext(gfx::Size { width, height }, 1);
        context->setFillColor(0.2f, 0.5f, 0.8f, 1);
        context->fillRect(gfx::Rect(0, 0, width, height));
        auto image = context->makeImage();
        std::string bytes = png ? *image->pngRepresentation() : withExifOrientation(*image->jpegRepresentation(0.8f), orientation);
        return VKFileResource::resourceWithPath(makeFile(relative, bytes));
    }

    void generate(const std::shared_ptr<VKFileResource>& resource)
    {
        size_t before = posted.size();
        manager->generateThumbnailAndScreenPreviewForResource(resource);
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return posted.size() >= before + 2; }, Timeout));
    }

    // Occupies the image queue's worker until the test ends or releases it.
    void blockQueue()
    {
        blocker = std::make_shared<BlockingOperation>();
        VKImageOperationQueue::sharedQueue()->addOperation(blocker);
        blocker->waitUntilStarted();
    }

    static gfx::Size sizeOfFile(const std::string& path, gfx::ImageFormat format)
    {
        auto image = gfx::Image::imageWithContentsOfFile(path);
        if (!image)
            return {};
        EXPECT_EQ(image->format(), format) << path;
        return image->size();
    }

    std::shared_ptr<VKThumbnailManager> manager;
    std::vector<core::Observation> observations;
    std::vector<std::string> posted;
    std::shared_ptr<BlockingOperation> blocker;
};

TEST_F(VKThumbnailManagerTest, PreviewsAndThumbnailsFollowTheScreen)
{
    EXPECT_EQ(manager->thumbnailCacheDirectory(), pathInHome("Library/Preferences/Metadata/ThumbnailCache"));
    EXPECT_EQ(manager->previewCacheDirectory(), pathInHome("Library/Preferences/Metadata/PreviewCache"));
    EXPECT_EQ(VKThumbnailManager::deviceThumbnailSize(), 128);

    // Large: a screen-sized preview, the thumbnail made from it; JPEG items
    // get JPEG files without extension.
    auto photo = makeImage("Documents/photo.jpg", 3000, 2000);
    EXPECT_TRUE(manager->resourceRequiresPreview(*photo));
    EXPECT_EQ(manager->thumbnailForResource(*photo), nullptr);
    generate(photo);
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerDidGenerateThumbnailNotification photo.jpg",
                          "VKThumbnailManagerDidGeneratePreviewNotification photo.jpg" }));
    EXPECT_EQ(sizeOfFile(manager->previewCacheDirectory() + "/" + photo->UUID(), gfx::ImageFormat::JPEG), (gfx::Size { 960, 640 }));
    EXPECT_EQ(sizeOfFile(manager->thumbnailCacheDirectory() + "/" + photo->UUID(), gfx::ImageFormat::JPEG), (gfx::Size { 128, 85 }));
    ASSERT_NE(manager->thumbnailForResource(*photo), nullptr);
    EXPECT_EQ(manager->thumbnailForResource(*photo)->size(), (gfx::Size { 128, 85 }));
    EXPECT_EQ(manager->previewForResource(*photo)->size(), (gfx::Size { 960, 640 }));

    // Stored on its side: the preview is upright.
    auto turned = makeImage("Documents/turned.jpg", 3000, 2000, false, 6);
    generate(turned);
    EXPECT_EQ(sizeOfFile(*manager->previewCachePathForResource(*turned), gfx::ImageFormat::JPEG), (gfx::Size { 640, 960 }));
    EXPECT_EQ(manager->thumbnailForResource(*turned)->size(), (gfx::Size { 85, 128 }));

    // Small: no preview (still told), a PNG thumbnail enlarged to the edge.
    posted.clear();
    auto icon = makeImage("Documents/icon.png", 100, 100, true);
    EXPECT_FALSE(manager->resourceRequiresPreview(*icon));
    generate(icon);
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerDidGenerateThumbnailNotification icon.png",
                          "VKThumbnailManagerPreviewGeneralFailedNotification icon.png" }));
    EXPECT_EQ(sizeOfFile(*manager->thumbnailCachePathForResource(*icon), gfx::ImageFormat::PNG), (gfx::Size { 128, 128 }));
    EXPECT_FALSE(core::fs::exists(*manager->previewCachePathForResource(*icon)));
    EXPECT_EQ(manager->previewForResource(*icon), nullptr);

    // A drawing is drawn at its own size, transparency kept.
    auto drawing = VKFileResource::resourceWithPath(makeFile("Documents/logo.svg",
        "<svg xmlns='http://www.w3.org/2000/svg' width='200' height='100'>"
        "<rect x='0' y='0' width='100' height='100' fill='#c03020'/></svg>"));
    generate(drawing);
    auto thumbnail = manager->thumbnailForResource(*drawing);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(thumbnail->size(), (gfx::Size { 128, 64 }));
    EXPECT_EQ(sizeOfFile(*manager->thumbnailCachePathForResource(*drawing), gfx::ImageFormat::PNG), (gfx::Size { 128, 64 }));
    EXPECT_TRUE(thumbnail->hasTransparency());

    // Other items are left alone.
    auto text = VKFileResource::resourceWithPath(makeFile("Documents/a.txt", "text"));
    manager->generateThumbnailAndScreenPreviewForResource(text);
    EXPECT_FALSE(manager->isUUIDQueued(text->UUID()));
    EXPECT_FALSE(manager->resourceRequiresPreview(*text));
}

TEST_F(VKThumbnailManagerTest, LowDensityScreenHasSmallerThumbnails)
{
    gfx::Screen::main().setScale(1);
    useNewManager();
    EXPECT_EQ(VKThumbnailManager::deviceThumbnailSize(), 64);
    // 320 × 480 pixels now: this one needs a preview of 480.
    auto photo = makeImage("Documents/photo.png", 800, 600, true);
    EXPECT_TRUE(manager->resourceRequiresPreview(*photo));
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return posted.size() >= 2; }, Timeout));
    EXPECT_EQ(sizeOfFile(*manager->previewCachePathForResource(*photo), gfx::ImageFormat::PNG), (gfx::Size { 480, 360 }));
    EXPECT_EQ(sizeOfFile(*manager->thumbnailCachePathForResource(*photo), gfx::ImageFormat::PNG), (gfx::Size { 64, 48 }));
}

TEST_F(VKThumbnailManagerTest, UndecodableImagesFailBothWays)
{
    auto drawing = VKFileResource::resourceWithPath(makeFile("Documents/drawing.svg", "<svg xmlns='http://www.w3.org/2000/svg'><rect"));
    ASSERT_TRUE(drawing->isImageType());
    generate(drawing);
    // A JPEG whose header reads but whose scan is garbage.
    auto photo = makeImage("Documents/broken.jpg", 300, 200);
    std::string bytes = readFile(photo->path());
    size_t scan = bytes.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    for (size_t i = scan + 20; i < bytes.size() - 2; ++i)
        bytes[i] = char(0xFF);
    bytes.replace(scan + 2, 2, std::string("\xFF\xFF", 2)); // an absurd scan header length
    makeFile("Documents/broken.jpg", bytes);
    generate(photo);
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerThumbnailGenerationFailedNotification drawing.svg",
                          "VKThumbnailManagerPreviewGeneralFailedNotification drawing.svg",
                          "VKThumbnailManagerThumbnailGenerationFailedNotification broken.jpg",
                          "VKThumbnailManagerPreviewGeneralFailedNotification broken.jpg" }));
    EXPECT_TRUE(logContains("Warning: failed to generate thumbnail for path: ~/Documents/broken.jpg"));
    EXPECT_FALSE(core::fs::exists(*manager->thumbnailCachePathForResource(*photo)));
    EXPECT_FALSE(core::fs::exists(*manager->thumbnailCachePathForResource(*drawing)));

    // A cache that cannot be written: failure, and no partial file.
    auto good = makeImage("Documents/good.png", 50, 50, true);
    auto image = gfx::Image::imageWithContentsOfFile(good->path());
    EXPECT_FALSE(VKThumbnailManager::writeImage(*image, "image/png", pathInHome("missing/folder/x")));
    EXPECT_TRUE(logContains("Warning, failed to write image to path: ~/missing/folder/x"));
    EXPECT_FALSE(core::fs::exists(pathInHome("missing")));
}

TEST_F(VKThumbnailManagerTest, FifosDevicesAndPicturesOutOfTheHomeFailAndTheWorkerGoesOn)
{
    // No writer ever opens the FIFO; the device never ends; a link's
    // picture out of the home is not the home's to read.
    makeFolder("Documents");
    ASSERT_EQ(mkfifo(pathInHome("Documents/a_pipe.jpg").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/urandom", pathInHome("Documents/urandom.jpg").c_str()), 0);
    const std::string outside = sourcePath("tests/fixtures/ui/screen.png");
    ASSERT_NE(gfx::Image::imageWithContentsOfFile(outside), nullptr);
    ASSERT_EQ(symlink(outside.c_str(), pathInHome("Documents/outside.png").c_str()), 0);
    generate(VKFileResource::resourceWithPath(pathInHome("Documents/a_pipe.jpg")));
    generate(VKFileResource::resourceWithPath(pathInHome("Documents/urandom.jpg")));
    auto link = VKFileResource::resourceWithPath(pathInHome("Documents/outside.png"));
    generate(link);
    generate(makeImage("Documents/good.jpg", 40, 30));
    ASSERT_EQ(posted.size(), 8u);
    posted.pop_back(); // a picture this small needs no preview
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerThumbnailGenerationFailedNotification a_pipe.jpg",
                          "VKThumbnailManagerPreviewGeneralFailedNotification a_pipe.jpg",
                          "VKThumbnailManagerThumbnailGenerationFailedNotification urandom.jpg",
                          "VKThumbnailManagerPreviewGeneralFailedNotification urandom.jpg",
                          "VKThumbnailManagerThumbnailGenerationFailedNotification outside.png",
                          "VKThumbnailManagerPreviewGeneralFailedNotification outside.png",
                          "VKThumbnailManagerDidGenerateThumbnailNotification good.jpg" }));
    EXPECT_FALSE(core::fs::exists(*manager->thumbnailCachePathForResource(*link)));
}

TEST_F(VKThumbnailManagerTest, QueuedItemsWaitNewestFirst)
{
    auto a = makeImage("Documents/a.png", 20, 20, true);
    auto b = makeImage("Documents/b.png", 20, 20, true);
    auto c = makeImage("Documents/c.png", 20, 20, true);
    // An old thumbnail of a, read into memory on the worker.
    makeFile("Library/Preferences/Metadata/ThumbnailCache/" + a->UUID(), *gfx::Image::imageWithContentsOfFile(a->path())->pngRepresentation());
    EXPECT_EQ(manager->thumbnailForResource(*a), nullptr);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return manager->thumbnailForResource(*a) != nullptr; }, Timeout));
    core::RunLoop::main().runUntilIdle();
    posted.clear();

    blockQueue();
    for (const auto& resource : { a, b, c })
        manager->generateThumbnailAndScreenPreviewForResource(resource);
    EXPECT_TRUE(manager->isUUIDQueued(a->UUID()));
    EXPECT_EQ(manager->thumbnailForResource(*a), nullptr);
    // Asking again while queued changes nothing; an equal operation takes
    // the waiting one's place (as the newest) and keeps the item queued.
    manager->generateThumbnailAndScreenPreviewForResource(a);
    VKImageOperationQueue::sharedQueue()->addOperation(VKThumbnailImageOperation::create(*a, manager));
    EXPECT_TRUE(manager->isUUIDQueued(a->UUID()));
    blocker->release();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return posted.size() >= 6; }, Timeout));
    core::RunLoop::main().runUntilIdle();
    std::vector<std::string> thumbnails;
    for (const auto& line : posted) {
        if (line.starts_with(VKThumbnailManagerDidGenerateThumbnailNotification.name))
            thumbnails.push_back(line.substr(line.size() - 5));
    }
    EXPECT_EQ(thumbnails, (std::vector<std::string> { "a.png", "c.png", "b.png" }));
    EXPECT_FALSE(manager->isUUIDQueued(a->UUID()));

    // Dropped unrun, an operation frees its item.
    blockQueue();
    manager->generateThumbnailAndScreenPreviewForResource(b);
    EXPECT_TRUE(manager->isUUIDQueued(b->UUID()));
    VKImageOperationQueue::sharedQueue()->removeAllPendingOperations();
    EXPECT_FALSE(manager->isUUIDQueued(b->UUID()));
    EXPECT_NE(manager->thumbnailForResource(*b), nullptr);

    // An item that goes takes its files and its place with it.
    manager->generateThumbnailAndScreenPreviewForResource(b);
    manager->removeCacheForResource(*b);
    EXPECT_FALSE(manager->isUUIDQueued(b->UUID()));
    EXPECT_FALSE(core::fs::exists(*manager->thumbnailCachePathForResource(*b)));
    manager->addUUIDToQueue("");
    EXPECT_FALSE(manager->isUUIDQueued(""));

    // An item that never had a UUID is not given one on its way out.
    auto plain = VKFileResource::resourceWithPath(makeFile("Documents/plain.txt", "x"));
    manager->removeCacheForResource(*plain);
    EXPECT_TRUE(VKFileResource::resourceWithPath(plain->path())->existingUUID().empty());
}

TEST_F(VKThumbnailManagerTest, ThumbnailFilesAreReadOnTheWorkerAndKeptInMemory)
{
    auto a = makeImage("Documents/a.png", 20, 20, true);
    std::string relative = "Library/Preferences/Metadata/ThumbnailCache/" + a->UUID();
    std::string file = makeFile(relative, *gfx::Image::imageWithContentsOfFile(a->path())->pngRepresentation());

    // Found only as a file: nothing at first, the item under way until the
    // worker read it, so a list asking meanwhile makes nothing.
    blockQueue();
    EXPECT_EQ(manager->thumbnailForResource(*a), nullptr);
    EXPECT_TRUE(manager->isUUIDQueued(a->UUID()));
    manager->generateThumbnailAndScreenPreviewForResource(a);
    blocker->release();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !posted.empty(); }, Timeout));
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerDidGenerateThumbnailNotification a.png" }))
        << "loaded, not made again";
    auto kept = manager->thumbnailForResource(*a);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->size(), (gfx::Size { 20, 20 }));
    EXPECT_EQ(manager->thumbnailForResource(*a), kept) << "from memory";

    // The item's cache deleted: gone from memory too.
    manager->removeCacheForResource(*a);
    EXPECT_EQ(manager->thumbnailForResource(*a), nullptr);
    EXPECT_FALSE(manager->isUUIDQueued(a->UUID())) << "no file, nothing to read";

    // An unreadable file is deleted, so that the thumbnail is made again.
    posted.clear();
    makeFile(relative, "not a picture");
    EXPECT_EQ(manager->thumbnailForResource(*a), nullptr);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !manager->isUUIDQueued(a->UUID()); }, Timeout));
    EXPECT_FALSE(core::fs::exists(file));
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(posted.empty());
    generate(a);
    EXPECT_NE(manager->thumbnailForResource(*a), nullptr);
}

TEST_F(VKThumbnailManagerTest, ItemDeletedDuringGenerationLeavesNoFiles)
{
    auto photo = makeImage("Documents/photo.jpg", 1500, 1000);
    std::string thumbnail = *manager->thumbnailCachePathForResource(*photo);
    std::string preview = *manager->previewCachePathForResource(*photo);
    // The work runs on another thread; its report waits for the main loop.
    std::thread worker([&] {
        manager->generatePreviewsForPath(photo->path(),
            core::Value::makeDictionary({ { "thumbnailCachePath", thumbnail }, { "previewCachePath", preview } }));
    });
    worker.join();
    ASSERT_TRUE(core::fs::exists(thumbnail));
    ASSERT_TRUE(core::fs::exists(preview));
    core::fs::removeItem(photo->path());
    core::RunLoop::main().runUntilIdle();
    EXPECT_FALSE(core::fs::exists(thumbnail));
    EXPECT_FALSE(core::fs::exists(preview));
    EXPECT_TRUE(posted.empty());
}

TEST_F(VKThumbnailManagerTest, ScaleChangeEmptiesTheCachesOnce)
{
    auto defaults = core::UserDefaults::standard();
    EXPECT_EQ(defaults->object(VKThumbnailManager::ScreenScaleKey), core::Value(2.0));
    std::string thumbnail = makeFile("Library/Preferences/Metadata/ThumbnailCache/x", "t");
    std::string preview = makeFile("Library/Preferences/Metadata/PreviewCache/x", "p");

    // Same scale: kept.
    useNewManager();
    EXPECT_TRUE(core::fs::exists(thumbnail));

    defaults->set(VKThumbnailManager::ScreenScaleKey, 1.0);
    useNewManager();
    EXPECT_FALSE(core::fs::exists(thumbnail));
    EXPECT_FALSE(core::fs::exists(preview));
    EXPECT_TRUE(core::fs::isDirectory(manager->thumbnailCacheDirectory()));
    EXPECT_TRUE(core::fs::isDirectory(manager->previewCacheDirectory()));
    EXPECT_EQ(defaults->object(VKThumbnailManager::ScreenScaleKey), core::Value(2.0));

    makeFile("Library/Preferences/Metadata/ThumbnailCache/x", "t");
    useNewManager();
    EXPECT_TRUE(core::fs::exists(thumbnail));
}

TEST_F(VKThumbnailManagerTest, PruningKeepsOneHundredMebibytes)
{
    auto sparse = [](const std::string& path, off_t length) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, length), 0);
        close(fd);
    };
    std::string thumbnail = manager->thumbnailCacheDirectory() + "/kept";
    std::string preview = manager->previewCacheDirectory() + "/cleared";
    sparse(thumbnail, 104857600);
    sparse(preview, 104857601);
    manager->pruneCaches();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !core::fs::exists(preview); }, Timeout));
    EXPECT_TRUE(core::fs::exists(thumbnail));
    EXPECT_TRUE(core::fs::isDirectory(manager->previewCacheDirectory()));
}

TEST_F(VKThumbnailManagerTest, CloudThumbnailsAreFetchedWithBackOff)
{
    auto hooks = test::RecordingCloudHooks::install();
    auto photo = hooks->addResource("Svc", pathInHome("Library/Servers/Svc/photo.jpg"), "/photo.jpg");
    photo->setUUID("11111111-2222-3333-4444-555555555555");
    std::string destination = manager->thumbnailCacheDirectory() + "/" + photo->UUID();
    auto fetches = [&] {
        size_t count = 0;
        for (const auto& call : hooks->calls())
            count += call == "fetchThumbnail /photo.jpg " + destination + " 0";
        return count;
    };

    manager->generateThumbnailAndScreenPreviewForResource(photo);
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    EXPECT_EQ(fetches(), 1u);
    EXPECT_TRUE(manager->isUUIDQueued(photo->UUID()));

    // A failure frees the item but keeps its deadline.
    ASSERT_TRUE(hooks->failThumbnailFetch());
    EXPECT_TRUE(logContains("Warning, thumbnailFetchFailedForPath: /photo.jpg"));
    EXPECT_FALSE(manager->isUUIDQueued(photo->UUID()));
    test::TestEnvironment::clock().advance(299);
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    EXPECT_EQ(fetches(), 1u);
    test::TestEnvironment::clock().advance(1);
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    EXPECT_EQ(fetches(), 2u);

    // The fetched file is read on the worker; the item is told once it is
    // kept.
    ASSERT_TRUE(hooks->completeThumbnailFetch());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !posted.empty(); }, Timeout));
    EXPECT_EQ(posted, (std::vector<std::string> { "VKThumbnailManagerDidGenerateThumbnailNotification photo.jpg" }));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !manager->isUUIDQueued(photo->UUID()); }, Timeout));
    EXPECT_NE(manager->thumbnailForResource(*photo), nullptr);
    EXPECT_TRUE(core::fs::exists(destination));

    // The item left the mirror while its thumbnail was fetched.
    test::TestEnvironment::clock().advance(300);
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    hooks->deleteMirrorObjectAndSave(*photo);
    core::fs::removeItem(destination);
    ASSERT_TRUE(hooks->completeThumbnailFetch());
    EXPECT_FALSE(core::fs::exists(destination));
    EXPECT_EQ(posted.size(), 1u);

    // A failure for an item the mirror no longer has is only logged.
    test::TestEnvironment::clock().advance(300);
    manager->generateThumbnailAndScreenPreviewForResource(photo);
    ASSERT_TRUE(hooks->failThumbnailFetch());
    EXPECT_TRUE(logContains("Warning, unable to remove cloud UUID from thumbnail queue: /photo.jpg"));
}

} // namespace
