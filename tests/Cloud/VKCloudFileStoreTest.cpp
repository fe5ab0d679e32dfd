#include "Cloud/VKCloudFileStore.h"

#include "CloudTestCase.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Kit/VKHomeLayout.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Predicate.h"
#include "Support/Cloud/TestCloudService.h"
#include "Support/NotificationRecorder.h"

#include <gtest/gtest.h>

namespace {

class VKCloudFileStoreTest : public test::CloudTestCase {
protected:
    void expectError(const core::Error& error, int code, const std::string& description)
    {
        EXPECT_EQ(error.domain(), core::Error::POSIXDomain);
        EXPECT_EQ(error.code(), code);
        EXPECT_EQ(error.localizedDescription(), description);
    }
};

TEST_F(VKCloudFileStoreTest, NewStoreGetsARootAndTheRegisteredServicesFolders)
{
    test::TestCloudService::install("Dropbox");
    test::TestCloudService::install("Box");
    makeFile("Library/Servers/Dropbox/inside.txt", "not imported");
    core::LogCapture log(true);

    auto root = store()->rootNode();
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name(), "/");
    EXPECT_TRUE(root->isDirectory());
    EXPECT_EQ(store()->managedObjectForPath(servers()), root);
    EXPECT_EQ(store()->pathForManagedObject(*root), servers());
    EXPECT_TRUE(store()->isBootstrapRequired());

    EXPECT_TRUE(store()->bootstrapCloudFileStore());
    EXPECT_FALSE(store()->isBootstrapRequired());
    ASSERT_TRUE(node("Dropbox"));
    EXPECT_TRUE(node("Dropbox")->isDirectory());
    EXPECT_FALSE(node("Dropbox/inside.txt"));

    EXPECT_EQ(VKCloudFileStore::fileStorePath(), VKHomeLayout::current()->metadataDirectory()
            + "/VKCloudFileStore_1.0.sqlite");
    EXPECT_EQ(sqlite("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(sqlite("PRAGMA user_version"), "1");
    EXPECT_EQ(sqlite("SELECT group_concat(sql, ';') FROM sqlite_master WHERE type = 'index'"),
        "CREATE INDEX \"VKCloudManagedObjectParentName\" ON \"VKCloudManagedObject\" (\"parent\", \"name\");"
        "CREATE INDEX \"VKCloudManagedObjectParentNameFolded\" ON \"VKCloudManagedObject\" (\"parent\", \"nameFolded\");"
        "CREATE INDEX \"VKCloudManagedObjectUploadState\" ON \"VKCloudManagedObject\" (\"uploadState\")");
    EXPECT_EQ(sqlite("SELECT name, isDirectory, parent IS NULL FROM VKCloudManagedObject ORDER BY name"),
        "/|1|1\nBox|1|0\nDropbox|1|0");
}

TEST_F(VKCloudFileStoreTest, InsertsAreCheckedInOrderAndGetAUUIDOnce)
{
    auto folder = makeNode("Dropbox", true);
    auto file = makeNode("Dropbox/file.txt");
    struct Case {
        std::string name;
        std::shared_ptr<VKCloudManagedObject> parent;
        int code;
        std::string description;
    };
    const std::vector<Case> refused {
        { "a/b", nullptr, 22, "Invalid file name" },
        { "", folder, 22, "Invalid file name" },
        { ".", folder, 22, "Invalid file name" },
        { "..", folder, 22, "Invalid file name" },
        { std::string("a\0b", 3), folder, 22, "Invalid file name" },
        { "bad\xff\xfe", folder, 22, "Invalid file name" },
        { "x", nullptr, 2, "Parent directory does not exist" },
        { "x", file, 20, "Parent is not a directory" },
        { "file.txt", folder, 17, "File already exists" },
    };
    for (const auto& test : refused) {
        SCOPED_TRACE(test.name);
        core::Error error;
        EXPECT_FALSE(store()->insertObjectWithName(test.name, test.parent, &error));
        expectError(error, test.code, test.description);
    }
    core::Error error;
    EXPECT_FALSE(store()->insertObjectForPath(serverPath("Missing/x"), &error));
    expectError(error, 2, "Parent directory does not exist");
    EXPECT_FALSE(store()->insertObjectForPath(home() + "/Documents/x", &error));
    expectError(error, 2, "Parent directory does not exist");
    // Exact names: another case is another name.
    auto other = store()->insertObjectWithName("File.txt", folder, &error);
    ASSERT_TRUE(other);

    std::string uuid = file->UUID();
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_NE(other->UUID(), uuid);
    ASSERT_TRUE(store()->saveContext());
    EXPECT_EQ(sqlite("SELECT UUID FROM VKCloudManagedObject WHERE name = 'file.txt'"), uuid);

    // The root stays.
    core::LogCapture log(true);
    EXPECT_FALSE(store()->deleteObject(store()->rootNode(), &error));
    expectError(error, 1, "Unable to remove a root node");
    EXPECT_TRUE(log.contains("Warning, attempting to remove root"));
    EXPECT_TRUE(store()->rootNode()->isValid());
    EXPECT_FALSE(store()->contextHasChanges());
}

// Names are matched literally, never as patterns: "a?.txt" is not "ab.txt".
TEST_F(VKCloudFileStoreTest, ChildLookupIsExactOrFoldedAndNeverAPattern)
{
    auto folder = makeNode("Dropbox", true);
    makeNode("Dropbox/ab.txt");
    makeNode("Dropbox/Photo.jpg");
    auto lookups = [&] {
        EXPECT_FALSE(folder->childWithName("a?.txt"));
        EXPECT_FALSE(folder->childWithName("a*"));
        EXPECT_FALSE(folder->childWithName("A%", false));
        ASSERT_TRUE(folder->childWithName("photo.JPG", false));
        EXPECT_EQ(folder->childWithName("photo.JPG", false)->name(), "Photo.jpg");
        EXPECT_FALSE(folder->childWithName("photo.JPG"));
    };
    lookups();
    ASSERT_TRUE(store()->saveContext());
    lookups();

    core::Error error;
    ASSERT_TRUE(store()->insertObjectWithName("a?.txt", folder, &error)) << error.description();
    EXPECT_EQ(folder->childWithName("a?.txt")->name(), "a?.txt");
    // Two names that differ only in case: the case-insensitive lookup is
    // ambiguous and answers nothing.
    makeNode("Dropbox/PHOTO.jpg");
    EXPECT_FALSE(folder->childWithName("photo.jpg", false));
    EXPECT_EQ(folder->childWithName("PHOTO.jpg")->name(), "PHOTO.jpg");

    EXPECT_EQ(node("Dropbox/Photo.jpg")->name(), "Photo.jpg");
    EXPECT_FALSE(node("Dropbox/photo.jpg"));
    EXPECT_FALSE(store()->managedObjectForPath(serverPath("Dropbox/photo.JPG"), true));
    EXPECT_EQ(store()->managedObjectForPath(servers() + "/", true), store()->rootNode());
    // Paths outside the servers folder answer nothing, whatever their depth.
    EXPECT_FALSE(store()->managedObjectForPath(home() + "/Library/Document"));
    EXPECT_FALSE(store()->managedObjectForPath(home() + "/Library/Preferences/Dropbox"));
    EXPECT_FALSE(store()->managedObjectForPath(servers() + "2/Dropbox"));
    EXPECT_FALSE(store()->managedObjectForPath("Library/Servers/Dropbox"));
    EXPECT_FALSE(store()->managedObjectForPath(serverPath("Dropbox/../Dropbox/ab.txt")));
}

TEST_F(VKCloudFileStoreTest, CopyMoveAndDeleteFollowTheTree)
{
    makeNode("Dropbox", true);
    auto folder = makeNode("Dropbox/Folder", true);
    auto inner = makeNode("Dropbox/Folder/Inner", true);
    auto file = makeNode("Dropbox/Folder/Inner/file.txt", false, 12);
    file->setModificationDate(core::Date(1000));
    file->setCloudRevision(9);
    file->setCloudHash("hash");
    file->setUploadState(5);
    ASSERT_TRUE(store()->saveContext());

    core::Error error;
    auto copy = store()->copyObject(*folder, serverPath("Dropbox/Copy"), &error);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->isDirectory());
    EXPECT_TRUE(store()->childrenForManagedObject(*copy).empty());
    auto fileCopy = store()->copyObject(*file, serverPath("Dropbox/copy.txt"), &error);
    ASSERT_TRUE(fileCopy);
    EXPECT_EQ(fileCopy->size(), 12);
    EXPECT_EQ(fileCopy->modificationDate(), core::Date(1000));
    EXPECT_EQ(fileCopy->cloudRevision(), 0);
    EXPECT_FALSE(fileCopy->cloudHash());
    EXPECT_EQ(fileCopy->uploadState(), 0);
    EXPECT_NE(fileCopy->UUID(), file->UUID());
    EXPECT_FALSE(store()->copyObject(*file, serverPath("Dropbox/copy.txt"), &error));
    EXPECT_EQ(error.code(), 17);

    // A failed move changes nothing.
    EXPECT_FALSE(store()->moveObject(file, serverPath("Dropbox/copy.txt"), &error));
    EXPECT_EQ(error.code(), 17);
    EXPECT_FALSE(store()->moveObject(file, serverPath("Dropbox/Nowhere/file.txt"), &error));
    EXPECT_EQ(error.code(), 2);
    EXPECT_FALSE(store()->moveObject(folder, serverPath("Dropbox/Folder/Inner/Folder"), &error));
    EXPECT_EQ(error.code(), 22);
    EXPECT_FALSE(store()->moveObject(folder, serverPath("Dropbox/Folder/Folder"), &error));
    EXPECT_EQ(error.code(), 22);
    EXPECT_FALSE(store()->moveObject(store()->rootNode(), serverPath("Dropbox/Root"), &error));
    EXPECT_EQ(store()->pathForManagedObject(*file), serverPath("Dropbox/Folder/Inner/file.txt"));
    EXPECT_EQ(store()->pathForManagedObject(*folder), serverPath("Dropbox/Folder"));

    ASSERT_TRUE(store()->moveObject(inner, serverPath("Dropbox/Moved"), &error));
    EXPECT_EQ(store()->pathForManagedObject(*file), serverPath("Dropbox/Moved/file.txt"));
    ASSERT_TRUE(store()->saveContext());
    EXPECT_EQ(node("Dropbox/Moved/file.txt"), file);

    // A folder's deletion takes its subtree, reported with it.
    test::NoticeRecorder saves(store::ContextDidSaveNotification, store()->managedObjectContext());
    ASSERT_TRUE(store()->deleteObject(node("Dropbox/Moved")));
    EXPECT_FALSE(file->isValid());
    EXPECT_FALSE(store()->pathForManagedObject(*file));
    ASSERT_TRUE(store()->saveContext());
    ASSERT_EQ(saves.received.size(), 1u);
    EXPECT_EQ(saves.received[0].deleted.size(), 2u);
    EXPECT_EQ(saves.received[0].deletedIDs.size(), 2u);
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject WHERE name IN ('Moved', 'file.txt')"), "0");
}

TEST_F(VKCloudFileStoreTest, SizeSumsCountUnsavedChanges)
{
    auto folder = makeNode("Dropbox", true);
    makeNode("Dropbox/zero", false, 0);
    makeNode("Dropbox/ten", false, 10);
    makeNode("Dropbox/twenty", false, 20);
    auto sub = makeNode("Dropbox/Sub", true);
    makeNode("Dropbox/Sub/a", false, 100);
    makeNode("Dropbox/Sub/Deeper", true);
    auto deep = makeNode("Dropbox/Sub/Deeper/b", false, 1000);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder), 30);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder, true), 1130);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*deep), 0);
    EXPECT_EQ(store()->childCountForManagedObject(*folder), 4u);
    EXPECT_EQ(store()->childCountForManagedObject(*deep), 0u);
    ASSERT_TRUE(store()->saveContext());
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder, true), 1130);

    deep->setSize(2000);
    makeNode("Dropbox/five", false, 5);
    store()->deleteObject(node("Dropbox/ten"));
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder), 25);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder, true), 2125);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*sub), 100);
    EXPECT_EQ(store()->childCountForManagedObject(*folder), 4u);
}

TEST_F(VKCloudFileStoreTest, UniqueNamesTakeTheNextFreeNumberOrSuffix)
{
    makeNode("Dropbox", true);
    makeNode("Dropbox/Report.pdf");
    auto unique = [&](const std::string& name, std::string_view suffix = {}) {
        return store()->uniqueNameForItemAtPath(serverPath("Dropbox/" + name), suffix);
    };
    EXPECT_EQ(unique("Report.pdf"), "Report 1.pdf");
    makeNode("Dropbox/Report 1.pdf");
    EXPECT_EQ(unique("Report.pdf"), "Report 2.pdf");
    makeNode("Dropbox/Report 3.pdf");
    EXPECT_EQ(unique("Report 3.pdf"), "Report 4.pdf");
    EXPECT_EQ(unique("Report.pdf", "copy"), "Report copy.pdf");
    makeNode("Dropbox/Report copy.pdf");
    EXPECT_EQ(unique("Report.pdf", "copy"), "Report copy 1.pdf");
    EXPECT_EQ(unique("Report copy.pdf", "copy"), "Report copy 1.pdf");
    // The suffix is a word, not a pattern.
    makeNode("Dropbox/Report (copy).pdf");
    EXPECT_EQ(unique("Report (copy).pdf", "(copy)"), "Report (copy) 1.pdf");
    makeNode("Dropbox/a.tar.gz");
    EXPECT_EQ(unique("a.tar.gz"), "a.tar 1.gz");
    // Free names, and names free only by case, stay.
    EXPECT_EQ(unique("Free.pdf"), "Free.pdf");
    EXPECT_EQ(unique("report.pdf"), "report.pdf");
    EXPECT_EQ(store()->uniqueNameForItemAtPath(serverPath("Missing/Report.pdf")), "Report.pdf");
}

TEST_F(VKCloudFileStoreTest, LocksBelongToOneStore)
{
    auto folder = makeNode("Dropbox", true);
    auto other = makeNode("Dropbox/other", true);
    EXPECT_FALSE(store()->acquireLock(nullptr));
    EXPECT_FALSE(store()->isLocked(nullptr));
    EXPECT_TRUE(store()->acquireLock(folder));
    EXPECT_FALSE(store()->acquireLock(folder));
    EXPECT_TRUE(store()->isLocked(folder));
    EXPECT_FALSE(store()->isLocked(other));
    store()->releaseLock(folder);
    EXPECT_FALSE(store()->isLocked(folder));
    EXPECT_TRUE(store()->acquireLock(folder));
}

TEST_F(VKCloudFileStoreTest, ZapRemovesTheFileAndASecondStoreStartsAfresh)
{
    makeNode("Dropbox", true);
    ASSERT_TRUE(store()->saveContext());
    std::string path = VKCloudFileStore::fileStorePath();
    EXPECT_TRUE(core::fs::exists(path));
    EXPECT_TRUE(core::fs::exists(path + "-wal"));
    VKCloudFileStore::zapCloudFileStore();
    for (const char* suffix : { "", "-wal", "-shm" })
        EXPECT_FALSE(core::fs::exists(path + suffix)) << suffix;
    EXPECT_FALSE(node("Dropbox"));
    EXPECT_TRUE(store()->isBootstrapRequired());
}

TEST_F(VKCloudFileStoreTest, ADamagedFileGoesAsideForAFreshStore)
{
    test::TestCloudService::install("Dropbox");
    makeFile("Library/Preferences/Metadata/VKCloudFileStore_1.0.sqlite", "not a store at all, in any way");
    core::LogCapture log(true);
    ASSERT_TRUE(store()->isBootstrapRequired());
    EXPECT_TRUE(store()->bootstrapCloudFileStore());
    EXPECT_TRUE(core::fs::exists(VKCloudFileStore::fileStorePath() + ".corrupt"));
    EXPECT_TRUE(log.contains("moving damaged store aside"));
    EXPECT_TRUE(node("Dropbox"));
}

} // namespace
