#include "App/FolderBrowser/VKSaveMediaToPhotosAlbumOperation.h"

#include "Shell/ImageScalingAdditions.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/PhotoAlbum.h"
#include "Platform/UI/Testing/PhotoAlbumRecorder.h"
#include "Support/UITestCase.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using Operation = VKSaveMediaToPhotosAlbumOperation;

class RecordingDelegate : public VKSaveMediaToPhotosAlbumOperationDelegate {
public:
    void saveMediaToPhotosAlbumOperationDidEnd(Operation& operation, const std::optional<core::Error>& error) override
    {
        EXPECT_TRUE(core::Thread::isMainThread());
        ++ends;
        endError = error;
        progressAtEnd = operation.progress();
    }
    void saveMediaToPhotosAlbumOperationDidProcessMedia(Operation& operation, const std::string& path) override
    {
        EXPECT_TRUE(core::Thread::isMainThread());
        processed.push_back(path);
        progress.push_back(operation.progress());
        if (cancelAfter && processed.size() == *cancelAfter)
            operation.cancel();
    }

    int ends = 0;
    std::optional<core::Error> endError;
    float progressAtEnd = -1;
    std::vector<std::string> processed;
    std::vector<float> progress;
    std::optional<size_t> cancelAfter;
};

// A JPEG with an APP1 Exif block holding the orientation, right after the
// start-of-image marker.
std::string withExifOrientation(const std::string& jpeg, int orientation)
{
    std::string tiff("MM\0*\0\0\0\x08", 8);
    tiff += std::string("\0\x01", 2);
    tiff += std::string("\x01\x12\0\x03\0\0\0\x01", 8);
    tiff += std::string("\0", 1) + char(orientation) + std::string("\0\0", 2);
    tiff += std::string("\0\0\0\0", 4);
    std::string payload = std::string("Exif\0\0", 6) + tiff;
    size_t length = payload.size() + 2;
    std::string segment = "\xFF\xE1" + std::string(1, char(length >> 8)) + std::string(1, char(length & 0xFF)) + payload;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

class VKSaveMediaToPhotosAlbumOperationTest : public test::UITestCase {
protected:
    ui::testing::PhotoAlbumRecorder& album()
    {
        return dynamic_cast<ui::testing::PhotoAlbumRecorder&>(*ui::PhotoAlbum::backend());
    }

    std::string makeJPEG(const std::string& name, int width, int height, int orientation = 1)
    {
        auto context = gfx::BitmapContext::create(width, height);
        context->setFillColor(gfx::Color(0.2f, 0.4f, 0.8f, 1));
        context->fillRect({ 0, 0, float(width), float(height) });
        auto jpeg = context->makeImage()->jpegRepresentation(0.9f);
        return makeFile(name, orientation == 1 ? *jpeg : withExifOrientation(*jpeg, orientation));
    }

    std::shared_ptr<Operation> start(std::vector<std::string> paths)
    {
        auto operation = Operation::create(std::move(paths));
        operation->setDelegate(delegate);
        operation->start();
        return operation;
    }

    // Waits until the album holds `count` requests and the queue has had
    // the time to hand it more, were it going to.
    void waitForSaves(size_t count)
    {
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return album().saves().size() >= count; }, 30));
        runLoop();
    }

    bool runUntilEnded()
    {
        return core::RunLoop::main().runUntil([&] { return delegate->ends > 0; }, 30);
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(VKSaveMediaToPhotosAlbumOperationTest, FailuresAreCountedOnTheMainThreadAndEndWithTheirNumber)
{
    std::string first = makeJPEG("a.jpg", 40, 30);
    std::string second = makeJPEG("b.jpg", 40, 30);
    std::string movie = makeFile("clip.avi", "RIFF....AVI ");
    auto operation = start({ first, second, movie });

    // Two files are handed over; the third waits for a free slot.
    waitForSaves(2);
    EXPECT_EQ(album().saves().size(), 2u);
    EXPECT_EQ(operation->progress(), 0);
    album().complete();
    ASSERT_TRUE(runUntilEnded());

    EXPECT_EQ(album().saves().size(), 2u);
    EXPECT_EQ(delegate->processed.size(), 3u);
    EXPECT_EQ(delegate->progress, (std::vector<float> { 1.0f / 3, 2.0f / 3, 1.0f }));
    // The answers come in the order the album gives them.
    auto processed = delegate->processed;
    std::sort(processed.begin(), processed.end());
    EXPECT_EQ(processed, (std::vector<std::string> { first, second, movie }));
    ASSERT_TRUE(delegate->endError);
    EXPECT_EQ(delegate->endError->domain(), core::Error::CocoaDomain);
    EXPECT_EQ(delegate->endError->code(), 512);
    EXPECT_EQ(delegate->endError->userInfo().at("failureCount").toInteger(), 1);
    EXPECT_TRUE(logContains("Warning, incompatible video at path: " + movie));
    EXPECT_TRUE(logContains("Unsupported movie type"));

    // The album's own failures count too.
    delegate = std::make_shared<RecordingDelegate>();
    start({ first, second });
    waitForSaves(4);
    album().complete(core::Error::posix(ENOSPC));
    ASSERT_TRUE(runUntilEnded());
    EXPECT_EQ(delegate->endError->userInfo().at("failureCount").toInteger(), 2);
    EXPECT_TRUE(logContains("Save media error:"));
}

TEST_F(VKSaveMediaToPhotosAlbumOperationTest, EverySavedFileEndsWithoutErrorAndAtMostTwoAreInFlight)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i)
        paths.push_back(makeJPEG("p" + std::to_string(i) + ".jpg", 8, 8));
    std::string movie = makeFile("clip.MOV", "movie");
    paths.push_back(movie);
    start(paths);

    for (size_t saved = 2; saved <= 6; saved += 2) {
        waitForSaves(saved);
        EXPECT_EQ(album().saves().size(), saved);
        EXPECT_LE(album().pendingCount(), 2u);
        album().complete();
    }
    ASSERT_TRUE(runUntilEnded());
    EXPECT_EQ(delegate->ends, 1);
    EXPECT_FALSE(delegate->endError);
    EXPECT_EQ(delegate->progressAtEnd, 1.0f);
    EXPECT_EQ(album().saves().back().videoPath, movie);
}

TEST_F(VKSaveMediaToPhotosAlbumOperationTest, LargeOrTurnedImagesAreScaledToTheNativeWidth)
{
    gfx::Size native = vkNativeLandscapeSize();
    std::string large = makeJPEG("large.jpg", int(native.width) + 100, int(native.height));
    std::string turned = makeJPEG("turned.jpg", 100, 50, 6);
    std::string small = makeJPEG("small.jpg", 64, 48);
    std::string broken = makeFile("broken.jpg", "\xFF\xD8\xFF not really");

    start({ large, turned });
    waitForSaves(2);
    album().complete();
    ASSERT_TRUE(runUntilEnded());
    EXPECT_FALSE(delegate->endError);
    start({ small, broken });
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] {
            album().complete();
            return delegate->ends == 2;
        },
        30));

    auto saves = album().saves();
    ASSERT_EQ(saves.size(), 3u);
    // The longer side becomes the native width, the aspect kept.
    ASSERT_TRUE(saves[0].image);
    EXPECT_EQ(saves[0].image->size().width, native.width);
    EXPECT_EQ(saves[0].image->size().height, std::trunc(native.height * native.width / (native.width + 100)));
    // Orientation 6 is upright 50 × 100: enlarged to the native width.
    ASSERT_TRUE(saves[1].image);
    EXPECT_EQ(saves[1].image->imageOrientation(), gfx::ImageOrientation::Up);
    EXPECT_EQ(saves[1].image->size(), (gfx::Size { std::trunc(native.width / 2), native.width }));
    // A small upright image goes as it is.
    ASSERT_TRUE(saves[2].image);
    EXPECT_EQ(saves[2].image->size(), (gfx::Size { 64, 48 }));
    // The broken one never reaches the album and counts as a failure.
    EXPECT_EQ(delegate->endError->userInfo().at("failureCount").toInteger(), 1);
}

TEST_F(VKSaveMediaToPhotosAlbumOperationTest, AnEmptyListEndsNeverAndACancelledOneHandsNoMore)
{
    auto empty = start({});
    runLoop();
    EXPECT_EQ(delegate->ends, 0);
    EXPECT_EQ(empty->progress(), 0);

    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i)
        paths.push_back(makeJPEG("p" + std::to_string(i) + ".jpg", 8, 8));
    delegate->cancelAfter = 1;
    start(paths);
    waitForSaves(2);
    album().complete();
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return delegate->processed.size() == 2; }, 30));
    runLoop();
    // The answer in flight is still counted, but nothing more is handed over.
    EXPECT_EQ(album().saves().size(), 2u);
    EXPECT_EQ(delegate->ends, 0);
}

} // namespace
