#include "Cloud/VKCloudFileResource.h"

#include "CloudTestCase.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Cloud/VKNetworkState.h"
#include "FileModel/VKCloudHooks.h"
#include "Kit/FileManagerExtendedAttributes.h"
#include "Support/Cloud/TestCloudService.h"

#include <gtest/gtest.h>
#include <set>

namespace {

class VKCloudFileResourceTest : public test::CloudTestCase {
protected:
    void SetUp() override
    {
        CloudTestCase::SetUp();
        test::TestCloudService::install("Dropbox");
        VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
        ASSERT_TRUE(store()->bootstrapCloudFileStore());
    }

    static std::shared_ptr<VKFileResource> resource(std::string_view relative)
    {
        return VKFileResource::resourceWithPath(serverPath(relative));
    }
    static std::shared_ptr<VKCloudFileResource> cloud(std::string_view relative)
    {
        return std::dynamic_pointer_cast<VKCloudFileResource>(resource(relative));
    }
    static std::set<std::string> names(const std::optional<std::vector<std::shared_ptr<VKFileResource>>>& resources)
    {
        std::set<std::string> result;
        for (const auto& item : resources.value_or(std::vector<std::shared_ptr<VKFileResource>> {}))
            result.insert(item->name());
        return result;
    }
};

TEST_F(VKCloudFileResourceTest, ResourcesExistOnlyForNodesAndCompareByNode)
{
    makeFile("Library/Servers/Dropbox/only on disk.txt", "x");
    EXPECT_FALSE(resource("Dropbox/only on disk.txt"));
    EXPECT_FALSE(resource("Dropbox/missing.txt"));
    makeNode("Dropbox/a.txt", false, 5);
    auto first = resource("Dropbox/a.txt");
    auto second = resource("Dropbox/a.txt");
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isCloudResource());
    EXPECT_TRUE(first->isEqual(*second));
    EXPECT_EQ(first->hash(), second->hash());
    EXPECT_FALSE(first->isEqual(*resource("Dropbox")));
    EXPECT_FALSE(VKCloudFileResource::resourceWithManagedObject(nullptr));
    EXPECT_TRUE(logContains("VKCloudFileResource has nil VKCloudManagedObject"));
}

TEST_F(VKCloudFileResourceTest, ValuesComeFromTheNodeAndThePathFollowsIt)
{
    makeNode("Dropbox/A", true);
    auto node = makeNode("Dropbox/A/b.txt", false, 100);
    node->setModificationDate(core::Date(5000));
    node->setCloudRevision(4);
    node->setCloudHash("h");
    auto file = cloud("Dropbox/A/b.txt");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->name(), "b.txt");
    EXPECT_EQ(file->path(), serverPath("Dropbox/A/b.txt"));
    EXPECT_EQ(file->cloudPath(), "/A/b.txt");
    EXPECT_EQ(file->size(), 100u);
    EXPECT_FALSE(file->isDirectory());
    EXPECT_EQ(file->modificationDate(), core::Date(5000));
    EXPECT_EQ(file->creationDate(), core::Date(5000));
    EXPECT_EQ(file->cloudRevision(), 4);
    EXPECT_EQ(file->cloudHash(), "h");
    EXPECT_EQ(file->UUID(), node->UUID());
    EXPECT_EQ(file->pathExtension(), "txt");
    EXPECT_EQ(file->mimeType(), "text/plain");
    EXPECT_TRUE(file->exists());
    EXPECT_FALSE(file->isStoredLocally());
    EXPECT_EQ(file->localSize(), 0u);
    makeFile("Library/Servers/Dropbox/A/b.txt", "abc");
    EXPECT_TRUE(file->isStoredLocally());
    EXPECT_EQ(file->localSize(), 3u);
    EXPECT_EQ(file->size(), 100u);

    core::Error error;
    ASSERT_TRUE(store()->moveObject(node, serverPath("Dropbox/A/c.txt"), &error));
    EXPECT_EQ(file->path(), serverPath("Dropbox/A/c.txt"));
    ASSERT_TRUE(store()->moveObject(node->parent(), serverPath("Dropbox/Moved"), &error));
    EXPECT_EQ(file->path(), serverPath("Dropbox/Moved/c.txt"));
    EXPECT_EQ(file->cloudPath(), "/Moved/c.txt");

    store()->deleteObject(node);
    EXPECT_FALSE(file->exists());
    EXPECT_EQ(file->path(), "");

    EXPECT_EQ(cloud("Dropbox")->cloudPath(), "/");
    EXPECT_EQ(VKFileResource::resourceWithPath(servers())->cloudPath(), "");
}

TEST_F(VKCloudFileResourceTest, UploadsOfferDeleteOnly)
{
    auto node = makeNode("Dropbox/up.txt");
    auto file = cloud("Dropbox/up.txt");
    EXPECT_EQ(file->supportedFileOperations(), 0x11F);
    EXPECT_EQ(file->localizedDescriptionForUnsupportedFileOperation(0x20), "Operation not supported for cloud resources");
    const std::vector<std::tuple<int32_t, bool, bool>> states {
        { VKNetworkStateNone, false, false }, { VKNetworkStateChecking, true, false },
        { VKNetworkStateWaiting, true, true }, { VKNetworkStateConnecting, true, true },
        { VKNetworkStateUploading, true, true }, { VKNetworkStateFinalizing, true, true },
        { VKNetworkStatePaused, true, false }, { VKNetworkStateDone, false, false },
        { VKNetworkStateFailed, true, false },
    };
    for (const auto& [state, upload, uploading] : states) {
        SCOPED_TRACE(state);
        node->setUploadState(state);
        EXPECT_EQ(file->isUpload(), upload);
        EXPECT_EQ(file->isUploading(), uploading);
        EXPECT_EQ(file->supportedFileOperations(), upload ? 0x1 : 0x11F);
    }
}

TEST_F(VKCloudFileResourceTest, ChildrenQueriesAndSums)
{
    makeNode("Dropbox/Folder", true);
    makeNode("Dropbox/Deck.key", true);
    makeNode("Dropbox/Été.txt", false, 7);
    makeNode("Dropbox/note.TXT", false, 11);
    makeNode("Dropbox/Folder/inner.txt", false, 1000);
    auto folder = cloud("Dropbox");
    EXPECT_EQ(names(folder->children()), (std::set<std::string> { "Folder", "Deck.key", "Été.txt", "note.TXT" }));
    auto childNames = folder->childNames();
    ASSERT_TRUE(childNames);
    EXPECT_EQ(std::set<std::string>(childNames->begin(), childNames->end()),
        (std::set<std::string> { "Folder", "Deck.key", "Été.txt", "note.TXT" }));
    EXPECT_EQ(names(folder->childrenMatchingIsCollection()), (std::set<std::string> { "Folder" }));
    EXPECT_EQ(names(folder->childrenMatchingName("ete")), (std::set<std::string> { "Été.txt" }));
    EXPECT_EQ(names(folder->childrenMatchingName(".txt")), (std::set<std::string> { "Été.txt", "note.TXT" }));
    EXPECT_EQ(folder->sizeOfChildrenMatchingName("TXT"), 18u);
    EXPECT_EQ(folder->sizeOfChildren(), 18u);

    auto file = cloud("Dropbox/Été.txt");
    EXPECT_FALSE(file->children());
    EXPECT_FALSE(file->childNames());
    EXPECT_FALSE(file->childrenMatchingIsCollection());
    EXPECT_TRUE(file->childrenMatchingName("t").empty());
    EXPECT_EQ(file->sizeOfChildren(), 0u);
    EXPECT_EQ(file->sizeOfChildrenMatchingName("t"), 0u);
}

TEST_F(VKCloudFileResourceTest, CompanionsAndParents)
{
    makeNode("Dropbox/a.txt");
    makeNode("Dropbox/._a.txt");
    makeNode("Dropbox/b.txt");
    makeNode("Dropbox/._B.txt");
    auto companion = cloud("Dropbox/a.txt")->associatedAppleDoubleResource();
    ASSERT_TRUE(companion);
    EXPECT_EQ(companion->name(), "._a.txt");
    EXPECT_TRUE(companion->isCloudResource());
    EXPECT_FALSE(companion->associatedAppleDoubleResource());
    EXPECT_FALSE(cloud("Dropbox/b.txt")->associatedAppleDoubleResource());

    auto root = VKFileResource::resourceWithPath(servers());
    ASSERT_TRUE(root && root->isCloudResource());
    auto library = root->parent();
    ASSERT_TRUE(library);
    EXPECT_FALSE(library->isCloudResource());
    EXPECT_EQ(library->path(), home() + "/Library");
    auto rootAgain = cloud("Dropbox")->parent();
    ASSERT_TRUE(rootAgain);
    EXPECT_TRUE(rootAgain->isCloudResource());
    EXPECT_TRUE(rootAgain->isEqual(*root));
    EXPECT_EQ(cloud("Dropbox/a.txt")->parent()->path(), serverPath("Dropbox"));
}

TEST_F(VKCloudFileResourceTest, ObserversHearTheNodesChanges)
{
    auto node = makeNode("Dropbox/watched.txt");
    auto file = cloud("Dropbox/watched.txt");
    std::vector<std::string> heard;
    std::vector<core::Observation> observations;
    for (const char* key : { "name", "modificationDate", "isDirectory", "cloudHash", "cloudRevision", "uploadState",
             "fetchProgress", "uploadProgress", "size" })
        observations.push_back(file->observeValueForKey(key, [&heard, key] { heard.push_back(key); }));
    node->setName("renamed.txt");
    node->setModificationDate(core::Date(1));
    node->setIsDirectory(true);
    node->setIsDirectory(true);
    node->setCloudHash("x");
    node->setCloudRevision(2);
    node->setUploadState(5);
    node->setFetchProgress(0.5f);
    node->setUploadProgress(0.25f);
    node->setSize(3);
    EXPECT_EQ(heard, (std::vector<std::string> { "name", "modificationDate", "isDirectory", "cloudHash", "cloudRevision",
                         "uploadState", "fetchProgress", "uploadProgress" }));
    EXPECT_FALSE(VKFileResource::resourceWithPath(home() + "/Documents")->observeValueForKey("name", [] { }).isActive());

    // Clearing the mark clears it on the cached copy too.
    std::string copy = makeFile("Library/Servers/Dropbox/renamed.txt", "cached");
    ASSERT_TRUE(xattrSetString("YES", copy, VKFileResourceMarkedDeletedAttribute));
    file->setMarkedDeleted(true);
    EXPECT_TRUE(file->isMarkedDeleted());
    EXPECT_TRUE(node->isMarkedDeleted());
    file->setMarkedDeleted(false);
    EXPECT_FALSE(file->isMarkedDeleted());
    EXPECT_FALSE(xattrStringForItemAtPath(copy, VKFileResourceMarkedDeletedAttribute));
}

} // namespace
