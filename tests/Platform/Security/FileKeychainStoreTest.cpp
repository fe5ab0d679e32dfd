#include "Platform/Security/FileKeychainStore.h"

#include "Platform/Core/FileSystem.h"
#include "Support/TestCase.h"

#include <sys/stat.h>

#include <algorithm>
#include <thread>

using sec::FileKeychainStore;
using sec::KeychainAttribute;
using sec::KeychainItem;
using sec::KeychainQuery;
using sec::KeychainStore;

namespace {

class FileKeychainStoreTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        folder = pathInHome("Library/Keychain");
    }

    static KeychainItem password(const std::string& service, const std::string& secret)
    {
        KeychainItem item;
        item.attributes = core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value(service) },
            { KeychainAttribute::Service, core::Value(service) } });
        item.data = core::Data(secret);
        return item;
    }
    static KeychainQuery service(const std::string& name)
    {
        KeychainQuery query;
        query.attributes = core::Value::makeDictionary({ { KeychainAttribute::Service, core::Value(name) } });
        query.returnData = true;
        return query;
    }
    // The secret of the service, or "(none)".
    static std::string secret(KeychainStore&& store, const std::string& name) { return secret(store, name); }
    static std::string secret(KeychainStore& store, const std::string& name)
    {
        std::vector<KeychainItem> found;
        return store.copyMatching(service(name), found) == KeychainStore::Success ? found[0].data.toString() : "(none)";
    }
    static size_t count(KeychainStore&& store) { return count(store); }
    static size_t count(KeychainStore& store)
    {
        KeychainQuery all;
        all.matchAll = true;
        std::vector<KeychainItem> found;
        store.copyMatching(all, found);
        return found.size();
    }
    static unsigned mode(const std::string& path)
    {
        struct stat info;
        return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
    }
    size_t logLinesContaining(std::string_view text) const
    {
        auto lines = logLines();
        return size_t(std::count_if(lines.begin(), lines.end(), [&](const auto& line) { return line.find(text) != std::string::npos; }));
    }

    std::string folder;
};

TEST_F(FileKeychainStoreTest, ItemsSurviveANewStoreAndNeverShowInTheFile)
{
    FileKeychainStore store(folder);
    // Nothing is made until something is stored.
    EXPECT_EQ(secret(store, "VKLoginPasswordService"), "(none)");
    EXPECT_FALSE(core::fs::exists(folder));

    const std::string plain = "correct horse battery staple";
    ASSERT_EQ(store.add(password("VKLoginPasswordService", plain)), KeychainStore::Success);
    ASSERT_EQ(store.add(password("VKPasscodeLockService", "1234")), KeychainStore::Success);
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(store.path()), 0600u);
    EXPECT_EQ(mode(store.keyPath()), 0600u);
    EXPECT_EQ(readFile(store.keyPath()).size(), FileKeychainStore::KeyLength);

    const std::string file = readFile(store.path());
    EXPECT_TRUE(file.starts_with("TKC1"));
    EXPECT_EQ(file.find(plain), std::string::npos);
    EXPECT_EQ(file.find("VKLoginPasswordService"), std::string::npos);
    EXPECT_EQ(file.find("bplist"), std::string::npos);

    FileKeychainStore again(folder);
    EXPECT_EQ(secret(again, "VKLoginPasswordService"), plain);
    EXPECT_EQ(secret(again, "VKPasscodeLockService"), "1234");

    // Every write draws a new nonce: the same items never give the same bytes.
    sec::KeychainChanges same;
    same.data = core::Data(std::string("1234"));
    ASSERT_EQ(again.update(service("VKPasscodeLockService"), same), KeychainStore::Success);
    const std::string rewritten = readFile(store.path());
    EXPECT_EQ(rewritten.size(), file.size());
    EXPECT_NE(rewritten.substr(4, FileKeychainStore::NonceLength), file.substr(4, FileKeychainStore::NonceLength));
    // A failed change leaves the file as it was.
    EXPECT_EQ(again.add(password("VKPasscodeLockService", "9")), KeychainStore::DuplicateItem);
    EXPECT_EQ(readFile(store.path()), rewritten);
    // No temporary files stay behind.
    EXPECT_EQ(core::fs::contentsOfDirectory(folder)->size(), 2u);
}

TEST_F(FileKeychainStoreTest, TwoStoresOnOneHomeKeepEachOthersItems)
{
    FileKeychainStore first(folder);
    FileKeychainStore second(folder);
    ASSERT_EQ(first.add(password("one", "1")), KeychainStore::Success);
    ASSERT_EQ(second.add(password("two", "2")), KeychainStore::Success);
    EXPECT_EQ(secret(first, "two"), "2");
    ASSERT_EQ(first.remove(service("one")), KeychainStore::Success);
    EXPECT_EQ(secret(second, "one"), "(none)");
    EXPECT_EQ(count(second), 1u);

    // Writers racing on separate descriptors lose nothing.
    constexpr int Each = 25;
    auto writer = [&](const std::string& prefix) {
        FileKeychainStore store(folder);
        for (int i = 0; i < Each; ++i)
            EXPECT_EQ(store.add(password(prefix + std::to_string(i), "x")), KeychainStore::Success);
    };
    std::thread a(writer, "a");
    std::thread b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(count(first), 1u + 2 * Each);
}

TEST_F(FileKeychainStoreTest, DamagedFilesAreMovedAsideAndTheStoreStartsEmpty)
{
    {
        FileKeychainStore store(folder);
        ASSERT_EQ(store.add(password("svc", "secret")), KeychainStore::Success);
    }
    FileKeychainStore store(folder);
    const std::string path = store.path();
    const std::string original = readFile(path);

    // A flipped byte in the sealed text.
    std::string damaged = original;
    damaged[damaged.size() / 2] ^= 0x01;
    ASSERT_TRUE(core::fs::writeFileAtomically(path, damaged));
    EXPECT_EQ(secret(store, "svc"), "(none)");
    EXPECT_EQ(readFile(path + ".corrupt"), damaged);
    EXPECT_FALSE(core::fs::exists(path));
    EXPECT_EQ(logLinesContaining("moved aside"), 1u);
    // The store runs on.
    ASSERT_EQ(store.add(password("fresh", "f")), KeychainStore::Success);
    EXPECT_EQ(secret(FileKeychainStore(folder), "fresh"), "f");

    // Another home's key: the second damaged file does not replace the first.
    FileKeychainStore other(pathInHome("other"));
    ASSERT_EQ(other.add(password("svc", "elsewhere")), KeychainStore::Success);
    ASSERT_TRUE(core::fs::writeFileAtomically(path, readFile(other.path())));
    EXPECT_EQ(secret(store, "fresh"), "(none)");
    EXPECT_EQ(readFile(path + ".corrupt"), damaged);
    EXPECT_EQ(readFile(path + ".corrupt-2"), readFile(other.path()));

    // No key beside the file, for a store that has not read it yet.
    ASSERT_EQ(store.add(password("svc", "s")), KeychainStore::Success);
    ASSERT_TRUE(core::fs::removeItem(store.keyPath()));
    EXPECT_EQ(secret(FileKeychainStore(folder), "svc"), "(none)");
    EXPECT_TRUE(core::fs::exists(path + ".corrupt-3"));
    // A change makes a new key and a file that opens with it.
    ASSERT_EQ(store.add(password("svc", "again")), KeychainStore::Success);
    EXPECT_EQ(secret(FileKeychainStore(folder), "svc"), "again");

    // Larger than a keychain may be: refused before it is read.
    std::string oversized = readFile(path);
    oversized.resize(FileKeychainStore::MaximumFileLength + 1, '\0');
    ASSERT_TRUE(core::fs::writeFileAtomically(path, oversized));
    EXPECT_EQ(secret(store, "svc"), "(none)");
    EXPECT_TRUE(core::fs::exists(path + ".corrupt-4"));
    EXPECT_EQ(logLinesContaining("moved aside"), 4u);
}

TEST_F(FileKeychainStoreTest, WhatCannotBeReadIsAnErrorAndStaysPut)
{
    FileKeychainStore store(folder);
    ASSERT_EQ(store.add(password("svc", "secret")), KeychainStore::Success);
    ASSERT_TRUE(core::fs::removeItem(store.path()));
    makeFolder("Library/Keychain/Tandry.keychain");
    std::vector<KeychainItem> found;
    EXPECT_EQ(store.copyMatching(service("svc"), found), KeychainStore::IOError);
    EXPECT_EQ(store.add(password("other", "o")), KeychainStore::IOError);
    EXPECT_TRUE(core::fs::isDirectory(store.path()));
    EXPECT_FALSE(core::fs::exists(store.path() + ".corrupt"));

    FileKeychainStore nowhere("");
    EXPECT_EQ(nowhere.add(password("svc", "s")), KeychainStore::NotAvailable);
    EXPECT_EQ(nowhere.copyMatching(service("svc"), found), KeychainStore::NotAvailable);
}

TEST_F(FileKeychainStoreTest, AStoreThatWouldOutgrowItsFileRefusesTheChange)
{
    FileKeychainStore store(folder);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(store.add(password("big" + std::to_string(i), std::string(KeychainStore::MaximumDataLength, 'a' + i))),
            KeychainStore::Success);
    EXPECT_EQ(store.add(password("big3", std::string(KeychainStore::MaximumDataLength, 'd'))), KeychainStore::AllocationFailed);
    EXPECT_EQ(count(store), 3u);
    EXPECT_EQ(count(FileKeychainStore(folder)), 3u);
}

} // namespace
