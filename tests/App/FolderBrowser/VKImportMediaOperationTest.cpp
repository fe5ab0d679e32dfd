// The media import on its own: picks queued and imported one at a time in
// pick order under unique names, pictures with files copied as they are,
// others written as upright JPEGs or, with transparency, PNGs (checked with
// `file`), movies copied byte for byte, a name taken meanwhile by
// someone else skipped, and what failures and a cancel during a write leave.

#include "FolderListingTestCase.h"

#include "App/FolderBrowser/VKImportMediaOperation.h"
#include "Shell/VKApplication.h"
#include "CloudOperations/VKCloudUploadManager.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudFileStore.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKCloudServicesManager.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Core/URL.h"
#include "Platform/Graphics/BitmapContext.h"
#include "Platform/Graphics/Image.h"
#include "Platform/UI/ImagePickerController.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/Command.h"

#include <algorithm>

namespace {

using Picker = ui::ImagePickerController;

class Recorder : public VKFileOperationDelegate, public VKImportMediaOperationDelegate {
public:
    void fileOperation(VKFileOperation&, float) override { }
    void fileOperationDidEnd(VKFileOperation&, const std::optional<core::Error>& error) override
    {
        ++ends;
        endError = error;
    }
    void importMediaOperation(VKImportMediaOperation&, const std::string& path) override
    {
        EXPECT_TRUE(core::Thread::isMainThread());
        imported.push_back(core::path::lastPathComponent(path));
    }

    int ends = 0;
    std::optional<core::Error> endError;
    std::vector<std::string> imported;
};

class VKImportMediaOperationTest : public test::FolderListingTestCase {
protected:
    void SetUp() override
    {
        FolderListingTestCase::SetUp();
        folder = makeFolder("Documents/Media");
        folder = documents("Media");
        core::fs::createDirectory(folder, true);
        m_observation = core::NotificationCenter::defaultCenter().observe(
            VKFolderControllerCollectionDidUpdateNotification, nullptr,
            [this](const VKFolderUpdate& update, const core::Notification& notification) {
                if (operation && notification.object() == operation)
                    posted.push_back(update.path);
            });
    }
    void TearDown() override
    {
        VKImportMediaOperation::setWrittenHookForTesting(nullptr);
        operation.reset();
        core::Thread::waitForAll(10);
        VKCloudUploadManager::resetSharedManagerForTesting();
        VKCloudFileStore::resetForTesting();
        VKCloudServicesManager::resetForTesting();
        VKCloudHooks::setCurrent(nullptr);
        FolderListingTestCase::TearDown();
    }

    void begin()
    {
        operation = VKImportMediaOperation::create(resource(folder));
        operation->setDelegate(std::static_pointer_cast<VKFileOperationDelegate>(recorder));
        operation->run();
    }
    void waitForEnd(int ends = 1)
    {
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return recorder->ends >= ends; }, 60));
        core::Thread::waitForAll(10);
        runLoop();
    }
    std::vector<std::string> onDisk() const
    {
        auto names = core::fs::contentsOfDirectory(folder).value_or(std::vector<std::string>());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Opaque unless `transparent`: then its right half shows through.
    static std::shared_ptr<gfx::Image> picture(int width, int height, bool transparent = false)
    {
        auto context = gfx::BitmapContext::create(width, height);
        if (!transparent) {
            context->setFillColor(gfx::Color(1, 1, 1, 1));
            context->fillRect({ 0, 0, float(width), float(height) });
        }
        context->setFillColor(gfx::Color(0.9f, 0.3f, 0.1f, 1));
        context->fillRect({ 0, 0, float(width) / 2, float(height) });
        return context->makeImage();
    }
    static core::Value imagePick(std::shared_ptr<gfx::Image> original, std::shared_ptr<gfx::Image> edited = nullptr)
    {
        core::Value::Dictionary info { { Picker::mediaTypeKey, Picker::imageType },
            { Picker::originalImageKey, core::Value(original) } };
        if (edited)
            info[Picker::editedImageKey] = core::Value(edited);
        return info;
    }
    static core::Value moviePick(const std::string& type, const std::string& path)
    {
        return core::Value::Dictionary { { Picker::mediaTypeKey, type },
            { Picker::mediaURLKey, core::URL::fileURL(path).absoluteString() } };
    }
    static std::string fileType(const std::string& path)
    {
        return test::runCommand({ "file", "-b", path }).output;
    }

    std::string folder;
    std::shared_ptr<VKImportMediaOperation> operation;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::vector<std::string> posted;

private:
    core::Observation m_observation;
};

TEST_F(VKImportMediaOperationTest, QuickPicksAreImportedInOrderAsUprightJPEGs)
{
    begin();
    EXPECT_EQ(operation->label(), "Copying Media");
    EXPECT_TRUE(operation->isIndeterminate());
    EXPECT_TRUE(operation->mayBeCancelled());
    EXPECT_TRUE(operation->holdsBackgroundTask());

    operation->importMediaWithInfo(imagePick(picture(40, 20)));
    // The edited picture wins over the original.
    operation->importMediaWithInfo(imagePick(picture(40, 20), picture(30, 60)));
    operation->importMediaWithInfo(imagePick(picture(16, 16)));
    EXPECT_TRUE(operation->isImporting());
    waitForEnd();

    EXPECT_EQ(recorder->ends, 1);
    EXPECT_FALSE(recorder->endError);
    EXPECT_FALSE(operation->isImporting());
    EXPECT_EQ(recorder->imported, (std::vector<std::string> { "image.jpg", "image 1.jpg", "image 2.jpg" }));
    EXPECT_EQ(onDisk(), (std::vector<std::string> { "image 1.jpg", "image 2.jpg", "image.jpg" }));
    EXPECT_EQ(posted, std::vector<std::string>(3, folder));
    ASSERT_EQ(operation->importedResources().size(), 3u);
    EXPECT_EQ(operation->importedResources()[0]->name(), "image.jpg");

    EXPECT_NE(fileType(folder + "/image.jpg").find("JPEG image data"), std::string::npos);
    EXPECT_NE(fileType(folder + "/image 1.jpg").find("30x60"), std::string::npos) << fileType(folder + "/image 1.jpg");
}

TEST_F(VKImportMediaOperationTest, PicturesWithFilesComeInUntouchedOthersKeepTheirTransparency)
{
    std::string png = *picture(8, 8, true)->pngRepresentation();
    std::string file = makeFile("Pictures/Holiday Sign.png", png);
    ASSERT_TRUE(core::fs::writeFileAtomically(folder + "/Holiday Sign.png", "taken"));
    core::Value::Dictionary withFile = imagePick(gfx::Image::imageWithContentsOfFile(file)).dictionary();
    withFile[Picker::imageURLKey] = core::URL::fileURL(file).absoluteString();
    begin();
    operation->importMediaWithInfo(core::Value(withFile));
    operation->importMediaWithInfo(imagePick(picture(8, 8, true)));
    waitForEnd();

    EXPECT_EQ(recorder->imported, (std::vector<std::string> { "Holiday Sign 1.png", "image.png" }));
    EXPECT_EQ(readFile(folder + "/Holiday Sign 1.png"), png) << "the very bytes";
    EXPECT_EQ(readFile(folder + "/Holiday Sign.png"), "taken");
    EXPECT_NE(fileType(folder + "/image.png").find("RGBA"), std::string::npos) << fileType(folder + "/image.png");
}

TEST_F(VKImportMediaOperationTest, MoviesAreCopiedUnderTheirTypesNameAndFailuresCounted)
{
    std::string clip = makeFile("Camera/clip.MOV", std::string(3 * 1024 * 1024, 'm') + "end");
    std::string other = makeFile("Camera/other.M4V", "video");
    begin();
    operation->importMediaWithInfo(moviePick(Picker::movieType, clip));
    operation->importMediaWithInfo(moviePick("com.example.video", other));
    operation->importMediaWithInfo(moviePick(Picker::movieType, home() + "/Camera/gone.mov"));
    operation->importMediaWithInfo(core::Value::Dictionary { { Picker::mediaTypeKey, Picker::imageType } });
    waitForEnd();

    EXPECT_EQ(recorder->imported, (std::vector<std::string> { "movie.mov", "media.m4v" }));
    EXPECT_EQ(readFile(folder + "/movie.mov"), readFile(clip));
    EXPECT_EQ(onDisk(), (std::vector<std::string> { "media.m4v", "movie.mov" }));
    EXPECT_TRUE(logContains("Warning: UIImagePickerController appears to have returned no media:"));
    ASSERT_TRUE(recorder->endError);
    EXPECT_EQ(recorder->endError->domain(), VKFileOperationErrorDomain);
    EXPECT_EQ(recorder->endError->code(), -1);
    EXPECT_EQ(recorder->endError->localizedDescription(), "Failed to import media");
}

TEST_F(VKImportMediaOperationTest, BadPicturesWriteNothing)
{
    auto context = gfx::BitmapContext::create(64, 64);
    std::string jpeg = *context->makeImage()->jpegRepresentation(0.9f);
    auto truncated = gfx::Image::imageWithData(core::Data(jpeg.substr(0, jpeg.size() / 3)));
    // A PNG header of 100,000 × 100,000: refused before any decoding.
    std::string huge("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\x01\x86\xA0\0\x01\x86\xA0\x08\x02\0\0\0\0\0\0\0", 33);
    auto oversized = gfx::Image::imageWithData(core::Data(huge));
    ASSERT_TRUE(oversized);
    begin();
    if (truncated)
        operation->importMediaWithInfo(imagePick(truncated));
    operation->importMediaWithInfo(imagePick(oversized));
    waitForEnd();
    EXPECT_TRUE(onDisk().empty()) << onDisk().size();
    ASSERT_TRUE(recorder->endError);
    EXPECT_TRUE(recorder->imported.empty());
}

TEST_F(VKImportMediaOperationTest, ANameTakenMeanwhileMovesTheImportOnAndACancelLeavesNothing)
{
    // A WebDAV upload takes "image.jpg" while the picture is being written.
    VKImportMediaOperation::setWrittenHookForTesting([this](const std::string& hidden) {
        EXPECT_TRUE(core::path::lastPathComponent(hidden).starts_with("."));
        EXPECT_FALSE(core::path::isWithin(hidden, folder)) << "a part is never in the folder a killed run leaves";
        if (!core::fs::exists(folder + "/image.jpg"))
            core::fs::writeFileAtomically(folder + "/image.jpg", "uploaded");
    });
    begin();
    operation->importMediaWithInfo(imagePick(picture(8, 8)));
    waitForEnd();
    EXPECT_EQ(readFile(folder + "/image.jpg"), "uploaded");
    EXPECT_EQ(recorder->imported, (std::vector<std::string> { "image 1.jpg" }));

    // Cancelled while its file is written: neither it nor a hidden file stays,
    // and the pick behind it is dropped.
    core::fs::removeItem(folder);
    core::fs::createDirectory(folder, true);
    recorder = std::make_shared<Recorder>();
    VKImportMediaOperation::setWrittenHookForTesting([this](const std::string&) { operation->cancel(); });
    begin();
    operation->importMediaWithInfo(imagePick(picture(8, 8)));
    operation->importMediaWithInfo(imagePick(picture(8, 8)));
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !operation->isImporting(); }, 60));
    core::Thread::waitForAll(10);
    runLoop();
    EXPECT_TRUE(onDisk().empty());
    EXPECT_TRUE(recorder->imported.empty());
    EXPECT_EQ(recorder->ends, 0);
}

TEST_F(VKImportMediaOperationTest, IntoACloudFolderTheMirrorTakesTheFileAndItsUploadIsQueued)
{
    auto service = test::TestCloudService::install("Test");
    service->setLinked(true);
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    auto store = VKCloudFileStore::sharedStore();
    ASSERT_TRUE(store->bootstrapCloudFileStore());
    const std::string servers = VKApplication::sharedApplication()->serversDirectory();
    // The folder was never downloaded; the mirror knows an "image.jpg" in it.
    folder = core::path::appendingPathComponent(servers, "Test/Camera Uploads");
    auto folderNode = store->insertObjectForPath(folder);
    ASSERT_TRUE(folderNode);
    folderNode->setIsDirectory(true);
    ASSERT_TRUE(store->insertObjectForPath(folder + "/image.jpg"));
    ASSERT_TRUE(store->saveContext());
    ASSERT_FALSE(core::fs::exists(folder));

    begin();
    EXPECT_TRUE(core::fs::isDirectory(folder));
    operation->importMediaWithInfo(imagePick(picture(40, 30)));
    waitForEnd();
    EXPECT_EQ(recorder->imported, (std::vector<std::string> { "image 1.jpg" }));
    EXPECT_FALSE(recorder->endError);
    EXPECT_EQ(onDisk(), (std::vector<std::string> { "image 1.jpg" }));

    auto node = store->managedObjectForPath(folder + "/image 1.jpg");
    ASSERT_TRUE(node);
    EXPECT_EQ(uint64_t(node->size()), core::fs::attributes(folder + "/image 1.jpg")->size);
    EXPECT_TRUE(node->modificationDate());
    auto calls = service->calls();
    EXPECT_NE(std::find_if(calls.begin(), calls.end(),
                  [](const std::string& call) { return call.find("/Camera Uploads/image 1.jpg") != std::string::npos; }),
        calls.end())
        << ::testing::PrintToString(calls);
    // (The fake service keeps the upload's callback, and the queue the
    // service: the cancel breaks that circle.)
    VKCloudUploadManager::sharedManager()->cancelUploadOfCloudResource(VKCloudFileResource::resourceWithManagedObject(node));
    // The mirror was saved with it: the store opened again holds it.
    node.reset();
    store.reset();
    VKCloudUploadManager::resetSharedManagerForTesting();
    VKCloudFileStore::resetForTesting();
    EXPECT_TRUE(VKCloudFileStore::sharedStore()->managedObjectForPath(folder + "/image 1.jpg"));
}

} // namespace
