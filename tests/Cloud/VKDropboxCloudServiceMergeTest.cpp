// Listings merged into the mirror, each case on its own, checked through the
// store and with sqlite3 on its file.

#include "Cloud/CloudServiceTestCase.h"

namespace {

std::shared_ptr<const DBMetadata> record(const std::string& json)
{
    auto parsed = DBMetadata::initWithJSONString(json);
    EXPECT_TRUE(parsed) << json;
    return parsed;
}

} // namespace

class VKDropboxCloudServiceMergeTest : public test::CloudServiceTestCase {
protected:
    bool merge(const std::string& cloudPath, const std::string& json)
    {
        return service->updateCloudResource(resource(cloudPath), record(json));
    }
    std::string sqliteNames(const std::string& parentName)
    {
        return sqlite("SELECT c.name FROM VKCloudManagedObject c JOIN VKCloudManagedObject p ON c.parent = p.id"
                      " WHERE p.name = '" + parentName + "' ORDER BY c.name");
    }
};

TEST_F(VKDropboxCloudServiceMergeTest, DroppedFilesGoAndNewRevisionsDropTheirCopies)
{
    mirror("/Docs", true);
    mirror("/Docs/gone.txt", false, 3, 4);
    mirror("/Docs/stale.txt", false, 3, 4);
    mirror("/Docs/fresh.txt", false, 5, 0);
    cached("/Docs/gone.txt", "old");
    cached("/Docs/stale.txt", "old");
    cached("/Docs/fresh.txt", "12345");

    ASSERT_TRUE(merge("/Docs", R"({"path":"/Docs","is_dir":true,"hash":"h1","revision":9,"contents":[
        {"path":"/Docs/stale.txt","bytes":4,"revision":7},
        {"path":"/Docs/fresh.txt","bytes":5,"revision":8},
        {"path":"/Docs/new.txt","bytes":-12,"revision":2}]})"));

    // The dropped file's node is gone and its copy moved to the trash.
    EXPECT_FALSE(mirrorNode("/Docs/gone.txt"));
    EXPECT_FALSE(onDisk("/Docs/gone.txt"));
    // A new revision keeps the node but not the stale copy.
    ASSERT_TRUE(mirrorNode("/Docs/stale.txt"));
    EXPECT_EQ(mirrorNode("/Docs/stale.txt")->cloudRevision(), 7);
    EXPECT_EQ(mirrorNode("/Docs/stale.txt")->size(), 4);
    EXPECT_FALSE(onDisk("/Docs/stale.txt"));
    // A copy of revision 0 with exactly the reported size is the one this
    // device sent: it stays, and takes the revision.
    EXPECT_TRUE(onDisk("/Docs/fresh.txt"));
    EXPECT_EQ(mirrorNode("/Docs/fresh.txt")->cloudRevision(), 8);
    // A negative byte count counts as none.
    ASSERT_TRUE(mirrorNode("/Docs/new.txt"));
    EXPECT_EQ(mirrorNode("/Docs/new.txt")->size(), 0);
    EXPECT_EQ(mirrorNode("/Docs")->cloudHash(), "h1");

    // Saved: another reader of the file sees the merge.
    EXPECT_EQ(sqliteNames("Docs"), "fresh.txt\nnew.txt\nstale.txt");
    EXPECT_EQ(sqlite("SELECT cloudRevision FROM VKCloudManagedObject WHERE name = 'stale.txt'"), "7");
}

TEST_F(VKDropboxCloudServiceMergeTest, AFileThatBecameAFolderIsReplacedAndItsListingMerged)
{
    mirror("/Thing", false, 3, 2);
    cached("/Thing", "abc");
    ASSERT_TRUE(merge("/Thing", R"({"path":"/Thing","is_dir":true,"hash":"h","revision":5,"contents":[
        {"path":"/Thing/inner.txt","bytes":1,"revision":6}]})"));
    ASSERT_TRUE(mirrorNode("/Thing"));
    EXPECT_TRUE(mirrorNode("/Thing")->isDirectory());
    EXPECT_TRUE(mirrorNode("/Thing/inner.txt"));
    EXPECT_FALSE(std::filesystem::is_regular_file(mirrorPath("/Thing")));
    EXPECT_TRUE(logContains("Warning, existing resource has incorrect file type"));
    EXPECT_EQ(sqliteNames("Thing"), "inner.txt");
}

TEST_F(VKDropboxCloudServiceMergeTest, AFolderRecordWithoutAListingChangesOnlyDateAndSize)
{
    mirror("/F", true);
    mirror("/F/kept.txt", false, 1, 1);
    mirrorNode("/F")->setCloudHash("old");
    mirrorNode("/F")->setCloudRevision(3);
    ASSERT_TRUE(merge("/F", R"({"path":"/F","is_dir":true,"bytes":77,"revision":9,"hash":"new",
        "modified":"Mon, 07 Dec 2026 10:00:00 +0000"})"));
    auto folder = mirrorNode("/F");
    EXPECT_EQ(folder->size(), 77);
    EXPECT_TRUE(folder->modificationDate());
    EXPECT_EQ(folder->cloudHash(), "old");
    EXPECT_EQ(folder->cloudRevision(), 3);
    EXPECT_TRUE(mirrorNode("/F/kept.txt"));
}

TEST_F(VKDropboxCloudServiceMergeTest, UploadsLocksAndDeletedRecords)
{
    mirror("/U", true);
    auto upload = mirror("/U/sending.txt", false, 9, 0);
    upload->setUploadState(2);
    ASSERT_TRUE(store()->saveContext());
    // An upload is neither dropped by a listing that lacks it nor changed.
    ASSERT_TRUE(merge("/U", R"({"path":"/U","is_dir":true,"hash":"h","contents":[]})"));
    ASSERT_TRUE(mirrorNode("/U/sending.txt"));
    EXPECT_TRUE(merge("/U/sending.txt", R"({"path":"/U/sending.txt","bytes":1,"revision":3})"));
    EXPECT_EQ(mirrorNode("/U/sending.txt")->size(), 9);

    // A locked node, or one whose folder is locked, is left alone (NO).
    mirror("/L", true);
    auto child = mirror("/L/c.txt", false, 1, 1);
    ASSERT_TRUE(store()->acquireLock(mirrorNode("/L")));
    EXPECT_FALSE(merge("/L/c.txt", R"({"path":"/L/c.txt","bytes":5,"revision":2})"));
    EXPECT_FALSE(merge("/L", R"({"path":"/L","is_dir":true,"contents":[]})"));
    EXPECT_TRUE(logContains("Warning, updateCloudResource skipping locked item: /L/c.txt"));
    EXPECT_EQ(child->size(), 1);
    store()->releaseLock(mirrorNode("/L"));

    // A record marked deleted deletes the item.
    EXPECT_TRUE(merge("/L/c.txt", R"({"path":"/L/c.txt","is_deleted":true})"));
    EXPECT_FALSE(mirrorNode("/L/c.txt"));
    EXPECT_EQ(sqliteNames("L"), "");
}

TEST_F(VKDropboxCloudServiceMergeTest, NamesMatchExactly)
{
    mirror("/C", true);
    mirror("/C/a.txt", false, 1, 1);
    ASSERT_TRUE(merge("/C", R"({"path":"/C","is_dir":true,"contents":[
        {"path":"/C/A.txt","bytes":2,"revision":2},{"path":"/C/a.txt","bytes":1,"revision":1}]})"));
    EXPECT_EQ(sqliteNames("C"), "A.txt\na.txt");
    EXPECT_EQ(store()->managedObjectForPath(mirrorPath("/C/A.txt"))->size(), 2);
}

TEST_F(VKDropboxCloudServiceMergeTest, HostileEntriesAreSkippedAndTheRestMerges)
{
    mirror("/H", true);
    ASSERT_TRUE(merge("/H", R"({"path":"/H","is_dir":true,"contents":[
        {"path":"/H/..","is_dir":true},
        {"path":"/H/.","bytes":1},
        {"path":"/H/","bytes":1},
        {"path":"","bytes":1},
        {"path":"/H/a\u0000b","bytes":1},
        {"path":"/Other/x.txt","bytes":1},
        {"path":"/H/sub/deep.txt","bytes":1},
        {"path":"H/rel.txt","bytes":1},
        {"path":"/H/ok.txt","bytes":3,"revision":1}]})"));
    EXPECT_EQ(sqliteNames("H"), "ok.txt");
    EXPECT_FALSE(mirrorNode("/Other"));
    EXPECT_FALSE(store()->managedObjectForPath(serverPath("x.txt")));
    EXPECT_EQ(sqlite("SELECT COUNT(*) FROM VKCloudManagedObject WHERE name = 'x.txt' OR name = 'deep.txt'"), "0");
    EXPECT_TRUE(logContains("skipping listing entry: /Other/x.txt"));

    // A record whose own path could lead elsewhere fails its merge.
    EXPECT_FALSE(merge("/H", R"({"path":"/H/../..","is_dir":true,"contents":[{"path":"/H/../../evil","bytes":1}]})"));
    EXPECT_FALSE(merge("/H", R"({"path":"H","is_dir":true,"contents":[]})"));
    EXPECT_EQ(sqliteNames("H"), "ok.txt");
}
