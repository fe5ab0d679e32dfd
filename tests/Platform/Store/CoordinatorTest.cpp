#include "Platform/Store/Coordinator.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/Paths.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Migration.h"
#include "Platform/Store/Predicate.h"
#include "Support/RerunTest.h"
#include "TestSchema.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using store::Predicate;
using test::NodeSchema;

namespace {

class CoordinatorTest : public test::StoreTestCase {
protected:
    // A store with `count` items under a root, written and closed.
    void writeStore(int count)
    {
        auto context = store::Context::create(openCoordinator());
        auto root = insert(*context, "/", nullptr, 0, true);
        for (int index = 0; index < count; ++index)
            insert(*context, "item " + std::to_string(index), root, index);
        ASSERT_TRUE(context->save());
    }

    void expectFreshStoreAfterMovingAside(const std::string& reason)
    {
        SCOPED_TRACE(reason);
        core::LogCapture log(true);
        auto coordinator = openCoordinator();
        ASSERT_TRUE(coordinator);
        EXPECT_EQ(coordinator->path(), storePath());
        EXPECT_FALSE(coordinator->isScratch());
        EXPECT_TRUE(log.contains("moving damaged store aside"));
        EXPECT_TRUE(core::fs::exists(storePath() + ".corrupt"));
        auto context = store::Context::create(coordinator);
        EXPECT_EQ(context->count(Predicate()), 0u);
        insert(*context, "new");
        EXPECT_TRUE(context->save());
        EXPECT_EQ(sqlite("PRAGMA integrity_check"), "ok");
    }
};

TEST_F(CoordinatorTest, DamagedOrForeignFilesAreMovedAside)
{
    // Not a database at all. Its side file keeps its pairing under the new
    // name.
    makeFile("store.sqlite", std::string(8192, 'x'));
    makeFile("store.sqlite-wal", "log");
    expectFreshStoreAfterMovingAside("garbage");
    EXPECT_EQ(readFile(storePath() + ".corrupt"), std::string(8192, 'x'));
    EXPECT_EQ(readFile(storePath() + ".corrupt-wal"), "log");

    // Another program's tables.
    core::fs::removeItem(storePath());
    sqlite("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('theirs')");
    expectFreshStoreAfterMovingAside("foreign tables");
    EXPECT_EQ(sqlite("SELECT text FROM notes", storePath() + ".corrupt"), "theirs");

    // Our version number, yet not our columns.
    core::fs::removeItem(storePath());
    sqlite("CREATE TABLE Node (id INTEGER PRIMARY KEY, parent INTEGER, name TEXT); PRAGMA user_version = 1");
    expectFreshStoreAfterMovingAside("missing columns");

    // Damaged pages: quick_check does not say "ok".
    core::fs::removeItem(storePath());
    writeStore(3000);
    ASSERT_GT(core::fs::attributes(storePath())->size, 16u * 4096u);
    {
        std::fstream file(storePath(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(4096 * 14 + 8);
        file.write("\xff\xff\xff\xff", 4);
    }
    ASSERT_NE(test::runCommand({ "sqlite3", storePath(), "PRAGMA quick_check" }).output, "ok\n");
    expectFreshStoreAfterMovingAside("damaged pages");
}

TEST_F(CoordinatorTest, ANewerVersionIsNeverWritten)
{
    writeStore(2);
    sqlite("PRAGMA user_version = 7");
    std::string before = readFile(storePath());

    core::LogCapture log(true);
    auto coordinator = openCoordinator();
    ASSERT_TRUE(coordinator);
    EXPECT_TRUE(coordinator->isScratch());
    EXPECT_EQ(coordinator->path(), core::paths::temporaryDirectory() + "store.sqlite");
    EXPECT_TRUE(log.contains("using a scratch store"));
    auto context = store::Context::create(coordinator);
    EXPECT_EQ(context->count(Predicate()), 0u);
    insert(*context, "scratch");
    ASSERT_TRUE(context->save());
    context.reset();
    coordinator.reset();
    EXPECT_EQ(readFile(storePath()), before);
    EXPECT_EQ(sqlite("SELECT count(*) FROM Node"), "3");
    EXPECT_EQ(sqlite("PRAGMA user_version"), "7");

    // A second run starts its scratch store afresh.
    auto again = store::Context::create(openCoordinator());
    EXPECT_EQ(again->count(Predicate()), 0u);
}

TEST_F(CoordinatorTest, MigrationsRunInOrderKeepingEveryRow)
{
    writeStore(50);
    std::vector<int> ran;
    auto schema = NodeSchema::make(3);
    schema.addAttribute({ "color", store::AttributeType::Text });
    schema.addAttribute({ "rank", store::AttributeType::Integer, core::Value(0) });
    schema.addMigration(2, [&](store::Migration& migration) {
        ran.push_back(migration.fromVersion());
        migration.execute("ALTER TABLE Node ADD COLUMN rank INTEGER");
        migration.execute("UPDATE Node SET rank = size * 2");
    });
    schema.addMigration(1, [&](store::Migration& migration) {
        ran.push_back(migration.fromVersion());
        migration.execute("ALTER TABLE Node ADD COLUMN color TEXT");
    });
    auto coordinator = openCoordinator(schema);
    ASSERT_TRUE(coordinator);
    EXPECT_FALSE(coordinator->isScratch());
    EXPECT_EQ(ran, (std::vector<int> { 1, 2 }));
    EXPECT_EQ(sqlite("PRAGMA user_version"), "3");
    EXPECT_EQ(sqlite("SELECT count(*), sum(rank) FROM Node"), "51|2450");
    auto context = store::Context::create(coordinator);
    EXPECT_EQ(context->sum("rank", Predicate()), 2450);

    // A step that fails leaves the file at its version: a scratch store
    // serves the run.
    auto failing = NodeSchema::make(4);
    failing.addAttribute({ "color", store::AttributeType::Text });
    failing.addAttribute({ "rank", store::AttributeType::Integer });
    failing.addMigration(3, [](store::Migration& migration) {
        migration.execute("UPDATE Node SET size = 0");
        migration.execute("ALTER TABLE Nowhere ADD COLUMN x TEXT");
    });
    context.reset();
    coordinator.reset();
    core::LogCapture log(true);
    auto scratch = openCoordinator(failing);
    ASSERT_TRUE(scratch);
    EXPECT_TRUE(scratch->isScratch());
    EXPECT_EQ(sqlite("PRAGMA user_version"), "3");
    EXPECT_EQ(sqlite("SELECT sum(size) FROM Node"), "1225");
}

TEST_F(CoordinatorTest, OrphansAreRemovedAtOpenAndLoopsEndWalks)
{
    writeStore(2);
    // sqlite3 writes without foreign keys: rows under a parent that is gone,
    // and two rows that are each other's parent.
    sqlite("INSERT INTO Node (id, parent, name, nameFolded) VALUES (100, 999, 'orphan', 'orphan'), "
           "(101, 100, 'below orphan', 'below orphan'), (200, 201, 'loop a', 'loop a'), (201, 200, 'loop b', 'loop b')");
    core::LogCapture log(true);
    auto coordinator = openCoordinator();
    ASSERT_TRUE(coordinator);
    EXPECT_TRUE(log.contains("removed 2 orphaned objects"));
    EXPECT_EQ(sqlite("SELECT count(*) FROM Node WHERE id IN (100, 101)"), "0");

    auto context = store::Context::create(coordinator);
    auto loop = context->objectWithID(200);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->parentObject()->parentObject().get(), loop.get());
    context->deleteObject(loop);
    EXPECT_FALSE(context->objectWithID(201));
    EXPECT_EQ(context->count(Predicate()), 3u);
    ASSERT_TRUE(context->save());
    EXPECT_EQ(sqlite("SELECT count(*) FROM Node"), "3");
}

// A writer saving a parent with 100 children per save is killed at some
// point; every save it reported is there whole, and the file is sound.
TEST_F(CoordinatorTest, SavesSurviveAKilledWriter)
{
    constexpr int ChildrenPerSave = 100;
    if (auto path = test::rerunValue("TANDRY_STORE_WRITER")) {
        auto context = store::Context::create(store::Coordinator::open(*path, NodeSchema::make()));
        auto root = insert(*context, "/", nullptr, 0, true);
        ASSERT_TRUE(context->save());
        for (int save = 1;; ++save) {
            auto parent = insert(*context, "parent " + std::to_string(save), root, 0, true);
            for (int child = 0; child < ChildrenPerSave; ++child)
                insert(*context, "child " + std::to_string(child), parent, child);
            ASSERT_TRUE(context->save());
            std::printf("saved %d\n", save);
            std::fflush(stdout);
        }
    }

    auto writer = test::rerunCurrentTest("TANDRY_STORE_WRITER", storePath());
    ASSERT_TRUE(writer->started());
    ASSERT_TRUE(core::RunLoop::main().runUntil(
        [&] { return writer->output().find("saved 25\n") != std::string::npos || !writer->isRunning(); }, 60));
    writer->kill();
    int reported = 0;
    std::istringstream lines(writer->output());
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("saved ") && !lines.eof())
            reported = std::max(reported, std::atoi(line.c_str() + 6));
    }
    ASSERT_GE(reported, 25) << writer->errors();

    auto context = store::Context::create(openCoordinator());
    auto parents = context->fetch(Predicate::equal("isDirectory", core::Value(true)) && Predicate::greaterThan("name", core::Value("parent")));
    EXPECT_GE(parents.size(), static_cast<size_t>(reported));
    for (const auto& parent : parents) {
        EXPECT_EQ(context->count(Predicate::parentIs(parent)), static_cast<uint64_t>(ChildrenPerSave))
            << parent->stringAt(NodeSchema::Name);
        EXPECT_EQ(context->sum("size", Predicate::parentIs(parent)), ChildrenPerSave * (ChildrenPerSave - 1) / 2);
    }
    EXPECT_EQ(sqlite("PRAGMA integrity_check"), "ok");
}

} // namespace
