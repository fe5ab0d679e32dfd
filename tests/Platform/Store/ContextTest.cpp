#include "Platform/Store/Context.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Store/Predicate.h"
#include "TestSchema.h"

#include <gtest/gtest.h>

using store::Predicate;
using test::NodeSchema;

namespace {

class ContextTest : public test::StoreTestCase { };

TEST_F(ContextTest, FreshFileIsWALWithVersionAndIndexes)
{
    auto coordinator = openCoordinator();
    ASSERT_TRUE(coordinator);
    EXPECT_FALSE(coordinator->isScratch());
    EXPECT_EQ(sqlite("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(sqlite("PRAGMA user_version"), "1");
    EXPECT_EQ(sqlite("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"),
        "NodeParentName\nNodeParentNameFolded");
    EXPECT_EQ(sqlite("SELECT group_concat(name) FROM pragma_table_info('Node')"),
        "id,parent,name,nameFolded,size,isDirectory,note");
    EXPECT_EQ(sqlite("SELECT \"table\", \"on_delete\" FROM pragma_foreign_key_list('Node')"), "Node|CASCADE");
}

TEST_F(ContextTest, InsertsAreFoundBeforeTheSaveAndKeepTheirIDs)
{
    auto context = store::Context::create(openCoordinator());
    auto root = insert(*context, "/", nullptr, 0, true);
    auto a = insert(*context, "a.txt", root, 10);
    auto b = insert(*context, "b.txt", root, 20);
    int64_t rootID = root->objectID();
    EXPECT_GT(rootID, 0);
    EXPECT_EQ(names(context->fetch(Predicate::parentIs(root))), (std::vector<std::string> { "a.txt", "b.txt" }));
    EXPECT_EQ(context->count(Predicate::parentIs(root)), 2u);
    EXPECT_EQ(context->sum("size", Predicate::parentIs(root)), 30);
    EXPECT_TRUE(context->hasChanges());

    ASSERT_TRUE(context->save());
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(a->objectID(), rootID + 1);
    EXPECT_EQ(sqlite(fmt::format("SELECT name, nameFolded, size, isDirectory FROM Node WHERE parent = {} ORDER BY id", rootID)),
        "a.txt|a.txt|10|0\nb.txt|b.txt|20|0");
    EXPECT_EQ(sqlite(fmt::format("SELECT parent IS NULL FROM Node WHERE id = {}", rootID)), "1");

    // A new coordinator on the file goes on above the largest ID.
    auto reopened = store::Context::create(openCoordinator());
    auto c = reopened->insertObject();
    EXPECT_EQ(c->objectID(), b->objectID() + 1);
    auto stored = reopened->objectWithID(a->objectID());
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->stringAt(NodeSchema::Name), "a.txt");
    EXPECT_EQ(stored->parentObject()->objectID(), rootID);
    EXPECT_EQ(reopened->sum("size", Predicate::parentIDIs(rootID)), 30);
}

// Every predicate answers the same over stored rows (SQL) as over unsaved
// objects (C++), and mixed sets agree with count and sum.
TEST_F(ContextTest, PredicatesAnswerAlikeStoredAndPending)
{
    struct Item {
        const char* name;
        int64_t size;
        bool folder;
        const char* note;
    };
    const std::vector<Item> items {
        { "Été.txt", 5, false, "x" },
        { "photo.JPG", 7, false, nullptr },
        { "Photo.jpg", 11, false, "" },
        { "a?.txt", 13, false, nullptr },
        { "ab.txt", 17, false, nullptr },
        { "Ｆｕｌｌ", 19, true, "y" },
        { "STRASSE", 23, true, nullptr },
    };
    auto fill = [&](store::Context& context) {
        auto root = insert(context, "/", nullptr, 0, true);
        for (const auto& item : items) {
            auto object = insert(context, item.name, root, item.size, item.folder);
            if (item.note)
                object->setValueAt(NodeSchema::Note, core::Value(item.note));
        }
        return root;
    };
    auto coordinator = openCoordinator();
    auto saved = store::Context::create(coordinator);
    auto savedRoot = fill(*saved);
    ASSERT_TRUE(saved->save());
    auto fresh = store::Context::create(coordinator);
    auto pending = store::Context::create(openCoordinator(NodeSchema::make(), pathInHome("pending.sqlite")));
    auto pendingRoot = fill(*pending);

    struct Case {
        std::function<Predicate(int64_t root)> make;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases {
        { [](int64_t) { return Predicate::equal("name", core::Value("photo.JPG")); }, { "photo.JPG" } },
        { [](int64_t) { return Predicate::equalFolded("name", "PHOTO.jpg"); }, { "Photo.jpg", "photo.JPG" } },
        { [](int64_t) { return Predicate::equalFolded("name", "straße"); }, { "STRASSE" } },
        // Literal, never a pattern: "?" is no wildcard.
        { [](int64_t) { return Predicate::equal("name", core::Value("a?.txt")); }, { "a?.txt" } },
        { [](int64_t) { return Predicate::equalFolded("name", "A?.TXT"); }, { "a?.txt" } },
        { [](int64_t) { return Predicate::contains("name", "ete"); }, { "Été.txt" } },
        { [](int64_t) { return Predicate::contains("name", "full"); }, { "Ｆｕｌｌ" } },
        { [](int64_t) { return Predicate::contains("name", "%"); }, {} },
        { [](int64_t) { return Predicate::greaterThan("size", core::Value(13)); }, { "STRASSE", "ab.txt", "Ｆｕｌｌ" } },
        { [](int64_t) { return Predicate::equal("isDirectory", core::Value(true)); }, { "/", "STRASSE", "Ｆｕｌｌ" } },
        { [](int64_t) { return Predicate::equal("isDirectory", core::Value(1)); }, { "/", "STRASSE", "Ｆｕｌｌ" } },
        { [](int64_t) { return Predicate::equal("note", core::Value()); }, { "/", "STRASSE", "a?.txt", "ab.txt", "photo.JPG" } },
        { [](int64_t) { return Predicate::equal("note", core::Value("")); }, { "Photo.jpg" } },
        { [](int64_t) { return Predicate::parentIDIs(0); }, { "/" } },
        { [](int64_t root) { return Predicate::parentIDIs(root) && Predicate::equal("isDirectory", core::Value(false))
                                 && Predicate::greaterThan("size", core::Value(6)); },
            { "Photo.jpg", "a?.txt", "ab.txt", "photo.JPG" } },
    };
    for (const auto& test : cases) {
        auto storedPredicate = test.make(savedRoot->objectID());
        auto pendingPredicate = test.make(pendingRoot->objectID());
        SCOPED_TRACE(storedPredicate.description());
        auto storedResult = fresh->fetch(storedPredicate);
        EXPECT_EQ(names(storedResult), test.expected);
        EXPECT_EQ(names(pending->fetch(pendingPredicate)), test.expected);
        EXPECT_EQ(fresh->count(storedPredicate), test.expected.size());
        EXPECT_EQ(pending->count(pendingPredicate), test.expected.size());
        int64_t total = 0;
        for (const auto& object : storedResult)
            total += object->integerAt(NodeSchema::Size);
        EXPECT_EQ(fresh->sum("size", storedPredicate), total);
        EXPECT_EQ(pending->sum("size", pendingPredicate), total);
    }
    EXPECT_THROW(fresh->fetch(Predicate::equal("progress", core::Value(1.0))), core::Exception);
    EXPECT_THROW(fresh->fetch(Predicate::equalFolded("note", "x")), core::Exception);
}

// Changes made and not saved count along with the stored rows: a changed
// value moves an object in or out of a result, count and sum follow.
TEST_F(ContextTest, UnsavedChangesPatchStoredResults)
{
    auto context = store::Context::create(openCoordinator());
    auto root = insert(*context, "/", nullptr, 0, true);
    auto a = insert(*context, "a", root, 10);
    auto b = insert(*context, "b", root, 20);
    auto other = insert(*context, "other", root, 0, true);
    ASSERT_TRUE(context->save());

    b->setValueAt(NodeSchema::Size, core::Value(5));
    a->setParent(other);
    auto c = insert(*context, "c", root, 1);
    EXPECT_EQ(names(context->fetch(Predicate::parentIs(root))), (std::vector<std::string> { "b", "c", "other" }));
    EXPECT_EQ(context->sum("size", Predicate::parentIs(root)), 6);
    EXPECT_EQ(context->count(Predicate::parentIs(other)), 1u);
    EXPECT_EQ(names(context->fetch(Predicate::greaterThan("size", core::Value(8)))), (std::vector<std::string> { "a" }));
}

TEST_F(ContextTest, PendingDeletionHidesItsSubtreeUntilSavedWithIt)
{
    auto coordinator = openCoordinator();
    auto context = store::Context::create(coordinator);
    auto root = insert(*context, "/", nullptr, 0, true);
    auto folder = insert(*context, "A", root, 0, true);
    auto inner = insert(*context, "B", folder, 0, true);
    auto file = insert(*context, "c", inner, 3);
    auto escaping = insert(*context, "escaping", inner, 4);
    auto kept = insert(*context, "kept", root, 2);
    ASSERT_TRUE(context->save());
    int64_t folderID = folder->objectID();
    int64_t innerID = inner->objectID();
    int64_t fileID = file->objectID();

    test::NoticeRecorder saves(store::ContextDidSaveNotification, context);
    escaping->setParent(root);
    context->deleteObject(folder);
    auto late = insert(*context, "late", inner, 100);
    EXPECT_FALSE(folder->isValid());
    EXPECT_FALSE(inner->isValid());
    EXPECT_FALSE(file->isValid());
    EXPECT_FALSE(late->isValid());
    EXPECT_TRUE(escaping->isValid());
    EXPECT_TRUE(context->fetch(Predicate::parentIs(inner)).empty());
    EXPECT_EQ(context->count(Predicate()), 3u);
    EXPECT_EQ(context->sum("size", Predicate()), 6);
    EXPECT_FALSE(context->objectWithID(fileID));
    EXPECT_EQ(names(context->fetch(Predicate::parentIs(root))), (std::vector<std::string> { "escaping", "kept" }));

    ASSERT_TRUE(context->save());
    EXPECT_EQ(sqlite("SELECT name FROM Node ORDER BY name"), "/\nescaping\nkept");
    ASSERT_EQ(saves.received.size(), 1u);
    const auto& info = saves.received[0];
    std::vector<int64_t> deletedIDs = info.deletedIDs;
    std::sort(deletedIDs.begin(), deletedIDs.end());
    EXPECT_EQ(deletedIDs, (std::vector<int64_t> { folderID, innerID, fileID }));
    EXPECT_EQ(info.deleted.size(), 3u);
    EXPECT_EQ(info.inserted.size(), 0u);
    EXPECT_EQ(info.updated.size(), 1u);
    EXPECT_EQ(info.updatedKeys.at(escaping->objectID()), std::vector<std::string> { "parent" });
    EXPECT_FALSE(file->isValid());
    EXPECT_TRUE(kept->isValid());
}

// Each save writes the values it changed and no others, so two threads
// changing different values of one object both keep theirs.
TEST_F(ContextTest, SavesWriteOnlyChangedValues)
{
    auto coordinator = openCoordinator();
    auto first = store::Context::create(coordinator);
    auto object = insert(*first, "item", nullptr, 1);
    ASSERT_TRUE(first->save());
    auto second = store::Context::create(coordinator);
    auto same = second->objectWithID(object->objectID());

    test::NoticeRecorder saves(store::ContextDidSaveNotification, second);
    object->setValueAt(NodeSchema::Size, core::Value(42));
    same->setValueAt(NodeSchema::Note, core::Value("from the second"));
    same->setValueAt(NodeSchema::Note, core::Value("from the second"));
    EXPECT_TRUE(first->save());
    EXPECT_TRUE(second->save());
    EXPECT_EQ(sqlite("SELECT size, note FROM Node"), "42|from the second");
    ASSERT_EQ(saves.received.size(), 1u);
    EXPECT_EQ(saves.received[0].updatedKeys.at(object->objectID()), std::vector<std::string> { "note" });

    // A failed save keeps its changes for the next one.
    sqlite("CREATE TRIGGER refuse BEFORE UPDATE ON Node BEGIN SELECT RAISE(ABORT, 'refused'); END");
    same->setValueAt(NodeSchema::Size, core::Value(7));
    core::Error error;
    EXPECT_FALSE(second->save(&error));
    EXPECT_EQ(error.domain(), "NSSQLiteErrorDomain");
    EXPECT_TRUE(second->hasChanges());
    sqlite("DROP TRIGGER refuse");
    EXPECT_TRUE(second->save());
    EXPECT_EQ(sqlite("SELECT size FROM Node"), "7");
}

TEST_F(ContextTest, MergeTakesStoredValuesByPropertyAndInvalidatesDeletions)
{
    auto coordinator = openCoordinator();
    auto main = store::Context::create(coordinator);
    auto root = insert(*main, "/", nullptr, 0, true);
    auto x = insert(*main, "x", root, 1);
    auto y = insert(*main, "y", root, 2);
    auto z = insert(*main, "z", root, 3);
    ASSERT_TRUE(main->save());

    int sizeChanges = 0;
    auto observation = x->observe("size", [&] { ++sizeChanges; });
    y->setValueAt(NodeSchema::Note, core::Value("main note"));
    y->setValueAt(NodeSchema::IsDirectory, core::Value(true));

    auto worker = store::Context::create(coordinator);
    test::NoticeRecorder saves(store::ContextDidSaveNotification, worker);
    worker->objectWithID(x->objectID())->setValueAt(NodeSchema::Size, core::Value(100));
    auto workerY = worker->objectWithID(y->objectID());
    workerY->setValueAt(NodeSchema::Note, core::Value("worker note"));
    workerY->setValueAt(NodeSchema::Size, core::Value(200));
    worker->deleteObject(worker->objectWithID(z->objectID()));
    ASSERT_TRUE(worker->save());
    ASSERT_EQ(saves.received.size(), 1u);

    main->mergeChangesFromContextDidSave(saves.received[0]);
    EXPECT_EQ(x->integerAt(NodeSchema::Size), 100);
    EXPECT_EQ(sizeChanges, 1);
    EXPECT_EQ(y->stringAt(NodeSchema::Note), "worker note");
    EXPECT_EQ(y->integerAt(NodeSchema::Size), 200);
    EXPECT_TRUE(y->boolAt(NodeSchema::IsDirectory));
    EXPECT_FALSE(z->isValid());
    // Only the folder flag is still main's own change.
    ASSERT_TRUE(main->hasChanges());
    ASSERT_TRUE(main->save());
    EXPECT_EQ(sqlite(fmt::format("SELECT note, size, isDirectory FROM Node WHERE id = {}", y->objectID())), "worker note|200|1");
    EXPECT_EQ(sqlite("SELECT count(*) FROM Node"), "3");
}

TEST_F(ContextTest, ObjectsDidChangeIsPostedOncePerPassAndBeforeASave)
{
    auto context = store::Context::create(openCoordinator());
    auto a = insert(*context, "a");
    ASSERT_TRUE(context->save());
    core::RunLoop::main().runUntilIdle();

    std::vector<std::string> order;
    test::NotificationRecorder changes(store::ContextObjectsDidChangeNotification, context);
    auto saveObservation = core::NotificationCenter::defaultCenter().observe(store::ContextDidSaveNotification, context,
        [&](const core::Notification&) { order.push_back("save:" + std::to_string(changes.received.size())); });
    a->setValueAt(NodeSchema::Size, core::Value(1));
    a->setValueAt(NodeSchema::Size, core::Value(2));
    auto b = insert(*context, "b");
    EXPECT_TRUE(changes.received.empty());
    core::RunLoop::main().runUntilIdle();
    ASSERT_EQ(changes.received.size(), 1u);
    EXPECT_EQ(changes.received[0]["inserted"].count(), 1u);
    EXPECT_EQ(changes.received[0]["updated"].count(), 1u);

    a->setValueAt(NodeSchema::Size, core::Value(3));
    ASSERT_TRUE(context->save());
    EXPECT_EQ(changes.received.size(), 2u);
    EXPECT_EQ(order, (std::vector<std::string> { "save:2" }));
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(changes.received.size(), 2u);
}

TEST_F(ContextTest, IdentityMapKeepsOneObjectPerIDWhileHeld)
{
    auto coordinator = openCoordinator();
    {
        auto writer = store::Context::create(coordinator);
        auto root = insert(*writer, "/");
        for (int index = 0; index < 3; ++index)
            insert(*writer, "child" + std::to_string(index), root);
        ASSERT_TRUE(writer->save());
    }
    auto context = store::Context::create(coordinator);
    auto first = context->fetch(Predicate::equal("name", core::Value("child0")));
    auto again = context->fetch(Predicate::equal("name", core::Value("child0")));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].get(), again[0].get());
    EXPECT_EQ(context->registeredObjectCount(), 1u);

    auto children = context->fetch(Predicate::greaterThan("name", core::Value("child")));
    EXPECT_EQ(children.size(), 3u);
    children[1]->setValueAt(NodeSchema::Progress, core::Value(0.5));
    children[2]->setValueAt(NodeSchema::Note, core::Value("changed"));
    EXPECT_FALSE(children[1]->hasChanges());
    int64_t transientID = children[1]->objectID();
    first.clear();
    again.clear();
    children.clear();
    // The one with a transient value and the changed one stay.
    EXPECT_EQ(context->registeredObjectCount(), 2u);
    EXPECT_EQ(context->objectWithID(transientID)->doubleAt(NodeSchema::Progress), 0.5);
    ASSERT_TRUE(context->save());
    EXPECT_EQ(context->registeredObjectCount(), 1u);
}

// Another thread removed the folder an unsaved insert or move went to: the
// save goes through and the item goes with its folder.
TEST_F(ContextTest, ItemsUnderAFolderRemovedElsewhereGoWithIt)
{
    auto coordinator = openCoordinator();
    auto main = store::Context::create(coordinator);
    auto root = insert(*main, "/", nullptr, 0, true);
    auto folder = insert(*main, "folder", root, 0, true);
    auto moved = insert(*main, "moved", root);
    ASSERT_TRUE(main->save());

    auto orphan = insert(*main, "orphan", folder);
    auto orphanChild = insert(*main, "orphan child", orphan);
    moved->setParent(folder);
    auto other = store::Context::create(coordinator);
    other->deleteObject(other->objectWithID(folder->objectID()));
    ASSERT_TRUE(other->save());

    core::LogCapture log(true);
    ASSERT_TRUE(main->save());
    EXPECT_FALSE(orphan->isValid());
    EXPECT_FALSE(orphanChild->isValid());
    EXPECT_FALSE(moved->isValid());
    EXPECT_TRUE(log.contains("its folder no longer exists"));
    EXPECT_EQ(sqlite("SELECT name FROM Node"), "/");
    EXPECT_FALSE(main->hasChanges());
}

} // namespace

// Lookups of a child by parent and name read the objects waiting to be
// saved from an index: it must follow a rename, a move, and a rename merged
// from another thread's save into an object with changes of its own.
TEST_F(ContextTest, WaitingChildrenAreFoundByTheirCurrentParentAndName)
{
    auto coordinator = openCoordinator();
    auto main = store::Context::create(coordinator);
    auto root = insert(*main, "/", nullptr, 0, true);
    auto other = insert(*main, "other", root, 0, true);
    auto stored = insert(*main, "x", root, 1);
    ASSERT_TRUE(main->save());
    auto lookUp = [&](const std::shared_ptr<store::Object>& parent, const std::string& name) {
        return names(main->fetch(Predicate::parentIDIs(parent->objectID()) && Predicate::equalFolded("name", name)));
    };
    using Names = std::vector<std::string>;

    auto fresh = insert(*main, "New.txt", root, 2);
    fresh->setValueAt(NodeSchema::Name, core::Value("Renamed.txt"));
    EXPECT_EQ(lookUp(root, "new.txt"), Names {});
    EXPECT_EQ(lookUp(root, "RENAMED.TXT"), Names { "Renamed.txt" });
    fresh->setParent(other);
    EXPECT_EQ(lookUp(root, "renamed.txt"), Names {});
    EXPECT_EQ(lookUp(other, "renamed.txt"), Names { "Renamed.txt" });

    stored->setValueAt(NodeSchema::Size, core::Value(5));
    auto worker = store::Context::create(coordinator);
    test::NoticeRecorder saves(store::ContextDidSaveNotification, worker);
    worker->objectWithID(stored->objectID())->setValueAt(NodeSchema::Name, core::Value("W"));
    ASSERT_TRUE(worker->save());
    ASSERT_EQ(saves.received.size(), 1u);
    main->mergeChangesFromContextDidSave(saves.received[0]);
    ASSERT_TRUE(main->hasChanges());
    EXPECT_EQ(lookUp(root, "x"), Names {});
    EXPECT_EQ(lookUp(root, "w"), Names { "W" });
}
