#include "Cloud/VKCloudFileStore.h"

#include "CloudTestCase.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Context.h"
#include "Platform/Store/Coordinator.h"
#include "Platform/Store/Migration.h"
#include "Platform/Store/Predicate.h"
#include "Platform/Store/Schema.h"
#include "Support/RerunTest.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

class VKCloudFileStoreFileTest : public test::CloudTestCase {
protected:
    // The committed store of version 1, loaded by sqlite3 where the program
    // keeps its store.
    void loadVersion1Fixture()
    {
        auto result = test::runCommand({ "sqlite3", VKCloudFileStore::fileStorePath() },
            readFile(sourcePath("tests/fixtures/cloud/store-v1.sql")));
        ASSERT_EQ(result.status, 0);
        ASSERT_EQ(sqlite("PRAGMA user_version"), "1");
    }

    // Version 2 adds a column that every row gets from its name; `during`
    // runs inside the step's transaction.
    static store::Schema version2(std::function<void()> during = {})
    {
        auto schema = VKCloudManagedObject::schema();
        schema.setVersion(2);
        schema.addAttribute({ "label", store::AttributeType::Text });
        schema.addMigration(1, [during](store::Migration& migration) {
            migration.execute("ALTER TABLE VKCloudManagedObject ADD COLUMN label TEXT");
            migration.execute("UPDATE VKCloudManagedObject SET label = 'v2 ' || name");
            if (during)
                during();
        });
        return schema;
    }

    static constexpr const char* Rows = "SELECT group_concat(id || ':' || name || ':' || size, ',') FROM "
                                        "(SELECT * FROM VKCloudManagedObject ORDER BY id)";
};

TEST_F(VKCloudFileStoreFileTest, AMigrationKilledMidwayLeavesVersion1AndThenKeepsEveryRow)
{
    if (auto path = test::rerunValue("TANDRY_MIGRATION_WRITER")) {
        // The writer: stops for good inside the step, after its changes.
        store::Coordinator::open(*path, version2([] {
            std::printf("migrating\n");
            std::fflush(stdout);
            std::getchar();
        }));
        return;
    }

    loadVersion1Fixture();
    const std::string before = sqlite(Rows);
    auto writer = test::rerunCurrentTest("TANDRY_MIGRATION_WRITER", VKCloudFileStore::fileStorePath());
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] { return writer->output().find("migrating\n") != std::string::npos || !writer->isRunning(); }, 60));
    ASSERT_TRUE(writer->isRunning()) << writer->errors();
    writer->kill();

    EXPECT_EQ(sqlite("PRAGMA user_version"), "1");
    EXPECT_EQ(sqlite("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(sqlite("SELECT count(*) FROM pragma_table_info('VKCloudManagedObject') WHERE name = 'label'"), "0");
    EXPECT_EQ(sqlite(Rows), before);
    // Version 1 reads it as it was.
    auto photo = node("Dropbox/Photos/Été.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->size(), 204800);
    EXPECT_EQ(photo->cloudRevision(), 14);
    EXPECT_EQ(photo->modificationDate(), core::Date::fromUnixTime(1300000200));
    EXPECT_EQ(node("Dropbox")->cloudHash(), "a1b2c3");
    EXPECT_TRUE(node("Dropbox/Notes.txt")->isUpload());
    EXPECT_FALSE(store()->isBootstrapRequired());
    VKCloudFileStore::resetForTesting();

    // Version 2 migrates it whole.
    core::LogCapture log(true);
    auto coordinator = store::Coordinator::open(VKCloudFileStore::fileStorePath(), version2());
    ASSERT_TRUE(coordinator);
    EXPECT_FALSE(coordinator->isScratch());
    EXPECT_EQ(sqlite("PRAGMA user_version"), "2");
    EXPECT_EQ(sqlite(Rows), before);
    EXPECT_EQ(sqlite("SELECT label FROM VKCloudManagedObject WHERE id = 4"), "v2 Été.jpg");
    auto context = store::Context::create(coordinator);
    EXPECT_EQ(context->count(store::Predicate::equal("label", core::Value("v2 Report.pdf"))), 1u);
}

TEST_F(VKCloudFileStoreFileTest, ANewerStoreIsLeftAloneForAScratchStore)
{
    loadVersion1Fixture();
    sqlite("PRAGMA user_version = 2");
    const std::string before = readFile(VKCloudFileStore::fileStorePath());
    core::LogCapture log(true);
    EXPECT_TRUE(store()->isBootstrapRequired());
    EXPECT_TRUE(log.contains("using a scratch store"));
    EXPECT_EQ(store()->persistentStoreCoordinator()->path(),
        core::paths::temporaryDirectory() + "VKCloudFileStore_1.0.sqlite");
    makeNode("Scratch", true);
    EXPECT_TRUE(store()->saveContext());
    EXPECT_FALSE(node("Dropbox"));
    EXPECT_EQ(readFile(VKCloudFileStore::fileStorePath()), before);
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject"), "7");
}

// Rows a damaged file may hold: orphans go at open (logged), and a parent
// loop cut off from the root has no path and ends every walk.
TEST_F(VKCloudFileStoreFileTest, OrphansGoAndLoopsHaveNoPath)
{
    loadVersion1Fixture();
    sqlite("INSERT INTO VKCloudManagedObject (id, parent, name, nameFolded, isDirectory) VALUES "
           "(20, 99, 'orphan', 'orphan', 1), (21, 20, 'below', 'below', 0), "
           "(30, 31, 'loop a', 'loop a', 1), (31, 30, 'loop b', 'loop b', 1), (32, 31, 'in loop', 'in loop', 0)");
    core::LogCapture log(true);
    ASSERT_TRUE(node("Dropbox/Report.pdf"));
    EXPECT_TRUE(log.contains("removed 2 orphaned objects"));
    EXPECT_EQ(sqlite("SELECT count(*) FROM VKCloudManagedObject WHERE id IN (20, 21)"), "0");

    auto looped = store()->managedObjectContext()->objectWithID<VKCloudManagedObject>(32);
    ASSERT_TRUE(looped);
    EXPECT_FALSE(store()->pathForManagedObject(*looped));
    auto loopFolder = looped->parent();
    ASSERT_TRUE(loopFolder);
    EXPECT_FALSE(store()->pathForManagedObject(*loopFolder));
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*loopFolder, true), 0);
    EXPECT_EQ(store()->childCountForManagedObject(*loopFolder), 2u);
}

} // namespace
