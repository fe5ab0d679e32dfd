#include "App/VKAppServices.h"

#include "App/VKAppServiceHooks.h"
#include "Shell/VKApplication.h"
#include "Downloads/VKTransferQuestions.h"
#include "FileModel/VKCloudHooks.h"
#include "FileModel/VKFileSettingsManager.h"
#include "Kit/FileManagerAdditions.h"
#include "Kit/VKFunctions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "WebDAV/WebDAVDeleteResponse.h"
#include "Support/TestCase.h"

namespace {

class VKAppServicesTest : public test::TestCase {
protected:
    void TearDown() override
    {
        VKAppServices::release();
        TestCase::TearDown();
    }
};

TEST_F(VKAppServicesTest, WiredAtLaunchAndLetGoAtTheEnd)
{
    VKAppServices::prepare();
    VKAppServices::openCloudMirror();
    const std::string abandoned = makeFile("tmp/Staging/1-earlier-run/.Report.pdf.copy-Ab12Cd", "part");
    VKAppServices::openFilesAndTransfers();
    // What an earlier run left half made goes, on a thread of its own.
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !core::fs::exists(abandoned); }, 30));
    EXPECT_TRUE(VKCloudHooks::current());
    EXPECT_TRUE(VKAppUploadHooks::current());
    EXPECT_TRUE(VKAppDownloadHooks::current());
    EXPECT_TRUE(VKTransferQuestions::current());
    EXPECT_FALSE(VKAppServices::isNetworkActive(nullptr)) << "no server, nothing moving";

    // A deleted file loses what was kept about it, and only it.
    const auto documents = VKApplication::sharedApplication()->documentsDirectory();
    const auto gone = documents + "/gone.txt";
    const auto kept = documents + "/kept.txt";
    auto settings = VKFileSettingsManager::defaultManager();
    for (const auto& path : { gone, kept }) {
        ASSERT_TRUE(core::fs::writeFileAtomically(path, "text"));
        ASSERT_TRUE(settings->setFontSize(17, path));
    }
    auto deletions = VKAppServices::observeDeletions();
    core::NotificationCenter::defaultCenter().post(WebDAVWillDeleteResourceNotification, nullptr, { gone, "" });
    EXPECT_FALSE(settings->hasSettingsForFile(gone));
    EXPECT_TRUE(settings->hasSettingsForFile(kept));
    // So does a file emptied from the trash: one of the same name, size and
    // time made later starts afresh.
    const auto stamp = core::fs::attributes(kept)->modificationTime;
    ASSERT_TRUE(moveItemAtPathToTrash(kept));
    emptyTrashInBackground();
    ASSERT_TRUE(core::Thread::waitForAll(5));
    ASSERT_TRUE(core::fs::writeFileAtomically(kept, "text"));
    ASSERT_TRUE(core::fs::setModificationTime(kept, stamp));
    EXPECT_FALSE(settings->hasSettingsForFile(kept));

    // The temporary folder is emptied, not removed.
    const auto temporary = VKTemporaryDirectory();
    ASSERT_TRUE(core::fs::createDirectory(temporary + "/sub", true));
    ASSERT_TRUE(core::fs::writeFileAtomically(temporary + "/sub/a.txt", "a"));
    ASSERT_TRUE(core::fs::writeFileAtomically(temporary + "/b.txt", "b"));
    VKAppServices::emptyTemporaryFolder();
    EXPECT_TRUE(core::fs::isDirectory(temporary));
    EXPECT_EQ(core::fs::contentsOfDirectory(temporary)->size(), 0u);

    VKAppServices::release();
    EXPECT_FALSE(VKCloudHooks::current());
    EXPECT_FALSE(VKAppUploadHooks::current());
    EXPECT_FALSE(VKAppDownloadHooks::current());
    EXPECT_FALSE(VKTransferQuestions::current());
}

} // namespace
