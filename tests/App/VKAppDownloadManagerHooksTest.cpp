#include "Shell/VKApplication.h"
#include "App/VKAppDownloadManagerHooks.h"
#include "FileModel/VKDownloadHooks.h"
#include "Kit/URLRequestAdditions.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Path.h"
#include "Support/TestCase.h"
#include "Downloads/VKDownloadFileResource.h"
#include "Downloads/VKDownloadManager.h"

#include <gtest/gtest.h>

namespace {

class VKAppDownloadManagerHooksTest : public test::TestCase {
protected:
    void TearDown() override
    {
        VKDownloadManager::resetSharedManagerForTesting();
        VKDownloadHooks::setCurrent(nullptr);
        test::TestCase::TearDown();
    }
};

TEST_F(VKAppDownloadManagerHooksTest, TheLaunchRestoresDownloadsAndWiresTheFileModel)
{
    VKDownloadManager::resetSharedManagerForTesting();
    std::string documents = VKApplication::sharedApplication()->documentsDirectory();
    core::URLRequest request(core::URL::parse("http://127.0.0.1:1/file.bin").value());
    auto left = VKDownloadFileResource::createWithRequest(request, documents);
    left->saveState();

    VKAppDownloadManagerHooks hooks;
    hooks.initializeDownloads();
    ASSERT_EQ(VKDownloadManager::sharedManager()->webDownloads().size(), 1u);
    EXPECT_FALSE(hooks.hasActiveDownloads());
    ASSERT_TRUE(VKDownloadHooks::current());
    EXPECT_EQ(VKDownloadHooks::current()->downloadsForTargetFolder(documents).size(), 1u);
    EXPECT_EQ(VKDownloadHooks::current()->webDownloadCount(), 1);

    // A resumed download counts as active while it connects.
    VKDownloadManager::sharedManager()->resumeDownloadForResource(VKDownloadManager::sharedManager()->webDownloads()[0]);
    EXPECT_TRUE(hooks.hasActiveDownloads());
}

} // namespace
