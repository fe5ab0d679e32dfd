#include "Cloud/VKCloudFileStore.h"

#include "CloudTestCase.h"
#include "Cloud/VKCloudFileModelHooks.h"
#include "Cloud/VKCloudFileResource.h"
#include "Cloud/VKCloudManagedObject.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

class VKCloudFileStoreThreadTest : public test::CloudTestCase {
protected:
    // Runs `body` on a thread of its own and waits for it without running
    // the main loop, so that nothing the thread does can wait for the main
    // thread.
    void runOnWorker(std::function<void()> body)
    {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        core::Thread::detach("mirror worker", [&] {
            body();
            std::lock_guard lock(mutex);
            done = true;
            finished.notify_all();
        });
        std::unique_lock lock(mutex);
        ASSERT_TRUE(finished.wait_for(lock, std::chrono::seconds(60), [&] { return done; }));
    }
};

TEST_F(VKCloudFileStoreThreadTest, EachThreadFindsItsOwnStore)
{
    auto shared = store();
    EXPECT_EQ(VKCloudFileStore::storeForCurrentThread(), shared);
    std::weak_ptr<VKCloudFileStore> workerStore;
    bool noneBefore = false;
    bool sameAfter = false;
    bool inDictionary = false;
    runOnWorker([&] {
        noneBefore = !VKCloudFileStore::storeForCurrentThread();
        auto made = VKCloudFileStore::create();
        sameAfter = made && VKCloudFileStore::storeForCurrentThread() == made && made != VKCloudFileStore::sharedStore();
        inDictionary = core::Thread::current()->threadDictionary().contains(VKCloudFileStoreThreadDictionaryKey);
        workerStore = made;
    });
    EXPECT_TRUE(noneBefore);
    EXPECT_TRUE(sameAfter);
    EXPECT_TRUE(inDictionary);
    ASSERT_TRUE(core::Thread::waitForAll(10));
    EXPECT_TRUE(workerStore.expired());
}

// A worker's save reaches the main store on the main thread: observers of
// its nodes hear the new values, its deletions make nodes invalid, and the
// main thread's own unsaved changes are saved with the merge.
TEST_F(VKCloudFileStoreThreadTest, AWorkerSaveIsMergedOnTheMainThread)
{
    VKCloudHooks::setCurrent(std::make_shared<VKCloudFileModelHooks>());
    makeNode("Dropbox", true);
    makeNode("Dropbox/changed.txt", false, 1);
    makeNode("Dropbox/deleted.txt", false, 2);
    ASSERT_TRUE(store()->saveContext());
    auto changed = VKCloudFileResource::resourceWithPath(serverPath("Dropbox/changed.txt"));
    auto deleted = VKCloudFileResource::resourceWithPath(serverPath("Dropbox/deleted.txt"));
    int sizeChanges = 0;
    int revisionChanges = 0;
    auto sizeObservation = changed->managedObject()->observe("size", [&] { ++sizeChanges; });
    auto revisionObservation = changed->observeValueForKey("cloudRevision", [&] { ++revisionChanges; });
    makeNode("Dropbox/main.txt", false, 3);

    bool saved = false;
    runOnWorker([&] {
        auto own = VKCloudFileStore::create();
        for (int index = 0; index < 1000; ++index) {
            auto inserted = own->insertObjectForPath(serverPath("Dropbox/file " + std::to_string(index)));
            inserted->setSize(index);
        }
        auto node = own->managedObjectForPath(serverPath("Dropbox/changed.txt"));
        node->setSize(99);
        node->setCloudRevision(7);
        own->deleteObject(own->managedObjectForPath(serverPath("Dropbox/deleted.txt")));
        saved = own->saveContext();
    });
    ASSERT_TRUE(saved);
    // Nothing reached the main thread's nodes before its loop ran.
    EXPECT_EQ(changed->size(), 1u);
    EXPECT_EQ(sizeChanges, 0);

    core::LogCapture log(true);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return changed->size() == 99; }, 30));
    EXPECT_EQ(sizeChanges, 1);
    EXPECT_EQ(revisionChanges, 1);
    EXPECT_EQ(changed->cloudRevision(), 7);
    EXPECT_FALSE(deleted->exists());
    EXPECT_FALSE(deleted->managedObject()->isValid());
    EXPECT_TRUE(log.contains("Warning, merging a NSManagedObjectContext with outstanding changes"));
    EXPECT_FALSE(store()->contextHasChanges());
    EXPECT_EQ(sqlite("SELECT size FROM VKCloudManagedObject WHERE name = 'main.txt'"), "3");
    auto folder = node("Dropbox");
    EXPECT_EQ(store()->childCountForManagedObject(*folder), 1002u);
    EXPECT_EQ(store()->sizeOfChildrenForManagedObject(*folder), 999 * 1000 / 2 + 99 + 3);
    EXPECT_EQ(node("Dropbox/file 500")->size(), 500);
}

// The same node changed on two threads: both saves succeed, and each keeps
// the value it wrote.
TEST_F(VKCloudFileStoreThreadTest, TwoThreadsSavingOneNodeBothSucceed)
{
    makeNode("Dropbox", true);
    auto shared = makeNode("Dropbox/shared.txt", false, 1);
    ASSERT_TRUE(store()->saveContext());
    shared->setSize(50);
    bool workerSaved = false;
    runOnWorker([&] {
        auto own = VKCloudFileStore::create();
        own->managedObjectForPath(serverPath("Dropbox/shared.txt"))->setCloudRevision(3);
        workerSaved = own->saveContext();
    });
    EXPECT_TRUE(workerSaved);
    EXPECT_TRUE(store()->saveContext());
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return shared->cloudRevision() == 3; }, 30));
    EXPECT_EQ(shared->size(), 50);
    EXPECT_EQ(sqlite("SELECT size, cloudRevision FROM VKCloudManagedObject WHERE name = 'shared.txt'"), "50|3");
}

} // namespace
