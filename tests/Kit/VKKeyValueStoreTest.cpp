#include "Kit/VKKeyValueStore.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <atomic>
#include <chrono>
#include <fmt/format.h>
#include <thread>
#include <vector>

namespace {

// A subclass keeping records of its own beside the named values.
class RecordStore : public VKKeyValueStore {
public:
    static std::shared_ptr<RecordStore> storeForPath(const std::string& path)
    {
        return std::dynamic_pointer_cast<RecordStore>(
            VKKeyValueStore::storeForPath(path, [](const std::string& path) { return new RecordStore(path); }));
    }

    using VKKeyValueStore::abortTransaction;
    using VKKeyValueStore::beginTransaction;
    using VKKeyValueStore::commitTransaction;
    using VKKeyValueStore::Cursor;
    using VKKeyValueStore::keyForName;
    using VKKeyValueStore::putRecord;
    using VKKeyValueStore::putRecordIfAbsent;
    using VKKeyValueStore::recordForKey;
    using VKKeyValueStore::removeRecord;
    using VKKeyValueStore::sync;

    std::vector<std::pair<std::string, std::string>> records()
    {
        std::vector<std::pair<std::string, std::string>> all;
        Cursor cursor(sharedAs<VKKeyValueStore>());
        for (bool more = cursor.first(); more; more = cursor.next())
            all.emplace_back(*cursor.key(), *cursor.value());
        return all;
    }

protected:
    explicit RecordStore(const std::string& path) : VKKeyValueStore(path) { }
};

class VKKeyValueStoreTest : public test::TestCase { };

TEST_F(VKKeyValueStoreTest, OneStorePerPathWhileSomeoneHoldsIt)
{
    std::string path = pathInHome("values.tcb");
    auto store = VKKeyValueStore::storeForPath(path);
    auto again = VKKeyValueStore::storeForPath(std::string(path.begin(), path.end()));
    EXPECT_EQ(store, again);
    store->setText("kept", "name");
    std::weak_ptr<VKKeyValueStore> old = store;
    store.reset();
    again.reset();
    EXPECT_TRUE(old.expired());

    auto fresh = VKKeyValueStore::storeForPath(path);
    EXPECT_EQ(fresh->textForKey("name"), "kept");
    EXPECT_FALSE(logContains("Cannot open"));
}

TEST_F(VKKeyValueStoreTest, RecordLayoutIsReadableByThePeerTool)
{
    std::string path = pathInHome("layout.tcb");
    {
        auto store = RecordStore::storeForPath(path);
        store->setUnsignedInteger(5, "n");
        EXPECT_EQ(store->dataLengthForKey("n"), 8u);
        EXPECT_EQ(store->unsignedIntegerForKey("n", 9), 5u);
        EXPECT_EQ(store->recordForKey(std::string("\0n", 2)), std::string("\5\0\0\0\0\0\0\0", 8));

        store->setText("empty", "");
        EXPECT_EQ(store->recordForKey(std::string(1, '\0')), "empty");
        store->setText("caf\xc3\xa9", "t");
        EXPECT_EQ(store->textForKey("t"), "caf\xc3\xa9");
        store->setData(std::string_view("\xff\xfe"), "bad");
        EXPECT_EQ(store->textForKey("bad"), std::nullopt);
        EXPECT_EQ(store->dataForKey("bad")->toString(), "\xff\xfe");
        // Values shorter than an integer answer the fallback.
        EXPECT_EQ(store->unsignedIntegerForKey("bad", 7), 7u);
        store->setData(core::Data(), "none");
        EXPECT_EQ(store->dataLengthForKey("none"), 0u);
        EXPECT_EQ(store->unsignedIntegerForKey("none", 7), 7u);

        EXPECT_EQ(store->textForKey("missing"), std::nullopt);
        EXPECT_EQ(store->dataForKey("missing"), std::nullopt);
        EXPECT_EQ(store->unsignedIntegerForKey("missing", 42), 42u);
        EXPECT_EQ(store->dataLengthForKey("missing"), 0x7FFFFFFFu);
    }
    if (!test::hasProgram("tcbmgr"))
        GTEST_SKIP() << "tcbmgr is not installed";
    auto value = test::runCommand({ "tcbmgr", "get", "-sx", "-px", path, "006e" });
    EXPECT_EQ(value.status, 0);
    EXPECT_EQ(value.output, "05 00 00 00 00 00 00 00\n");
    auto keys = test::runCommand({ "tcbmgr", "list", "-px", path });
    EXPECT_NE(keys.output.find("00 74\n"), std::string::npos) << keys.output;
}

TEST_F(VKKeyValueStoreTest, UnopenableFileAnswersMissing)
{
    std::string path = pathInHome("no/such/folder/x.tcb");
    auto store = VKKeyValueStore::storeForPath(path);
    EXPECT_TRUE(logContains("-[VKKeyValueStore initWithPath:] Cannot open database " + path + " ("));
    store->setText("v", "key one");
    EXPECT_TRUE(logContains("-[VKKeyValueStore setData:forKey:] Unable to store data for key key one"));
    EXPECT_EQ(store->textForKey("key one"), std::nullopt);
    EXPECT_EQ(store->unsignedIntegerForKey("key one", 3), 3u);
    EXPECT_EQ(store->dataLengthForKey("key one"), VKKeyValueStore::NotFound);
}

TEST_F(VKKeyValueStoreTest, SubclassRecordsLiveBesideNamedValues)
{
    auto store = RecordStore::storeForPath(pathInHome("records.tcb"));
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->putRecord("word", "1"));
    EXPECT_TRUE(store->putRecordIfAbsent("page", "2"));
    EXPECT_FALSE(store->putRecordIfAbsent("page", "3"));
    EXPECT_EQ(store->recordForKey("page"), "2");
    // An empty value held by no buffer at all is stored, not refused or crashed on.
    EXPECT_TRUE(store->putRecord("empty", std::string_view()));
    EXPECT_EQ(store->recordForKey("empty"), "");
    EXPECT_TRUE(store->removeRecord("empty"));
    store->setText("named", "word");
    // Raw records and named values do not meet.
    EXPECT_EQ(store->recordForKey("word"), "1");
    EXPECT_EQ(store->textForKey("word"), "named");
    EXPECT_EQ(store->textForKey("page"), std::nullopt);

    EXPECT_TRUE(store->beginTransaction());
    EXPECT_TRUE(store->putRecord("temp", "x"));
    EXPECT_TRUE(store->abortTransaction());
    EXPECT_EQ(store->recordForKey("temp"), std::nullopt);
    EXPECT_TRUE(store->beginTransaction());
    EXPECT_TRUE(store->putRecord("wz", "y"));
    EXPECT_TRUE(store->commitTransaction());
    EXPECT_TRUE(store->sync());

    // Named values sort first; then the raw records in key order.
    using Records = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(store->records(), (Records { { std::string("\0word", 5), "named" }, { "page", "2" }, { "word", "1" }, { "wz", "y" } }));

    RecordStore::Cursor cursor(store);
    ASSERT_TRUE(cursor.jump("w"));
    EXPECT_EQ(cursor.key(), "word");
    EXPECT_TRUE(cursor.remove());
    EXPECT_EQ(cursor.key(), "wz");
    EXPECT_EQ(cursor.value(), "y");
    EXPECT_FALSE(cursor.next());
    EXPECT_TRUE(store->removeRecord("page"));
    EXPECT_FALSE(store->removeRecord("page"));
    EXPECT_EQ(store->records(), (Records { { std::string("\0word", 5), "named" }, { "wz", "y" } }));
}

TEST_F(VKKeyValueStoreTest, ReadsNeverSeeAHalfWrittenValue)
{
    auto store = VKKeyValueStore::storeForPath(pathInHome("race.tcb"));
    auto valueOfLength = [](size_t length) { return std::string(length, static_cast<char>('a' + length % 26)); };
    store->setData(valueOfLength(1), "v");
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (size_t round = 0; round < 3000; ++round)
            store->setData(valueOfLength(1 + (round * 7919) % 4000), "v");
        done = true;
    });
    size_t reads = 0, bad = 0;
    while (!done || reads < 1000) {
        auto value = store->dataForKey("v");
        ++reads;
        if (!value || value->empty() || *value != core::Data(valueOfLength(value->size())))
            ++bad;
    }
    writer.join();
    EXPECT_EQ(bad, 0u) << "of " << reads << " reads";
}

TEST_F(VKKeyValueStoreTest, TransactionsOfTwoThreadsTakeTurnsWhileCursorsWalk)
{
    auto store = RecordStore::storeForPath(pathInHome("turns.tcb"));
    ASSERT_TRUE(store->beginTransaction());
    // A second one on the same thread is refused, not waited for forever.
    EXPECT_FALSE(store->beginTransaction());
    std::atomic<bool> began = false;
    std::thread other([&] {
        began = store->beginTransaction();
        for (int i = 0; i < 2000; ++i)
            store->putRecord(fmt::format("k{:04}", i), "v");
        store->commitTransaction();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(began);
    EXPECT_TRUE(store->putRecord("first", "1"));
    EXPECT_TRUE(store->abortTransaction());
    // Walks meet the other thread's writes one call at a time (a cursor
    // may then see a record twice, or lose its place, as under the
    // library's lock) and read only whole records.
    size_t broken = 0;
    for (int walk = 0; walk < 20; ++walk) {
        RecordStore::Cursor cursor(store);
        for (bool more = cursor.first(); more; more = cursor.next()) {
            auto key = cursor.key();
            auto value = cursor.value();
            broken += key && value && (key->size() != 5 || (*key)[0] != 'k' || *value != "v");
        }
    }
    other.join();
    EXPECT_TRUE(began);
    EXPECT_EQ(broken, 0u);
    EXPECT_EQ(store->recordForKey("first"), std::nullopt);
    EXPECT_EQ(store->records().size(), 2000u);
}

TEST_F(VKKeyValueStoreTest, StoresTakenAndDroppedOnTwoThreadsLoseNoWrite)
{
    std::string path = pathInHome("shared.tcb");
    auto work = [&](int thread) {
        for (int i = 0; i < 1000; ++i) {
            auto store = VKKeyValueStore::storeForPath(path);
            store->setUnsignedInteger(static_cast<uint32_t>(i), fmt::format("t{}-{}", thread, i));
        }
    };
    std::thread first(work, 1), second(work, 2);
    first.join();
    second.join();
    EXPECT_FALSE(logContains("Unable to store"));
    EXPECT_FALSE(logContains("Cannot open"));
    auto store = VKKeyValueStore::storeForPath(path);
    size_t found = 0;
    for (int thread = 1; thread <= 2; ++thread) {
        for (int i = 0; i < 1000; ++i)
            found += store->unsignedIntegerForKey(fmt::format("t{}-{}", thread, i), 0xFFFFFFFF) == static_cast<uint32_t>(i);
    }
    EXPECT_EQ(found, 2000u);
}

} // namespace
