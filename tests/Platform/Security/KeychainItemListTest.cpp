#include "Platform/Security/MemoryKeychainStore.h"

#include "Platform/Core/Date.h"
#include "Platform/Core/RunLoop.h"
#include "Support/TestCase.h"

using sec::KeychainAttribute;
using sec::KeychainItem;
using sec::KeychainItemClass;
using sec::KeychainQuery;
using sec::KeychainStore;
using sec::MemoryKeychainStore;

namespace {

KeychainItem generic(std::string account, std::string service, std::string secret)
{
    KeychainItem item;
    item.attributes = core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value(account) },
        { KeychainAttribute::Service, core::Value(service) } });
    item.data = core::Data(secret);
    return item;
}

KeychainItem internet(std::string server, int64_t port, std::string path, std::string secret)
{
    KeychainItem item;
    item.itemClass = KeychainItemClass::InternetPassword;
    item.attributes = core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value("token") },
        { KeychainAttribute::Server, core::Value(server) }, { KeychainAttribute::SecurityDomain, core::Value("auth.test") },
        { KeychainAttribute::Port, core::Value(port) }, { KeychainAttribute::Path, core::Value(path) },
        { KeychainAttribute::AuthenticationType, core::Value(sec::KeychainAuthenticationDefault) },
        { KeychainAttribute::Type, core::Value(int64_t(0x6F617574)) } });
    item.data = core::Data(secret);
    return item;
}

KeychainQuery query(KeychainItemClass itemClass, core::Value attributes)
{
    KeychainQuery result;
    result.itemClass = itemClass;
    result.attributes = std::move(attributes);
    result.returnData = result.returnAttributes = result.returnReference = true;
    return result;
}

class KeychainItemListTest : public test::TestCase {
protected:
    std::vector<KeychainItem> search(KeychainQuery q, KeychainStore::Status expected = KeychainStore::Success)
    {
        std::vector<KeychainItem> found;
        EXPECT_EQ(store.copyMatching(q, found), expected);
        return found;
    }

    MemoryKeychainStore store;
};

TEST_F(KeychainItemListTest, GenericPasswordsAreOnePerAccountAndServiceAndMatchIgnoringCaseOnRequest)
{
    KeychainItem stored;
    ASSERT_EQ(store.add(generic("VKLoginPasswordService", "VKLoginPasswordService", "s3cret"), &stored), KeychainStore::Success);
    EXPECT_EQ(stored.persistentReference.size(), 16u);
    EXPECT_EQ(store.add(generic("VKLoginPasswordService", "VKLoginPasswordService", "other")), KeychainStore::DuplicateItem);
    // Identity is exact: another spelling is another item.
    EXPECT_EQ(store.add(generic("vkloginpasswordservice", "Other", "x")), KeychainStore::Success);

    auto exact = query(KeychainItemClass::GenericPassword,
        core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value("vkloginpasswordservice") },
            { KeychainAttribute::Service, core::Value("VKLOGINPASSWORDSERVICE") } }));
    search(exact, KeychainStore::ItemNotFound);
    exact.caseInsensitive = true;
    auto found = search(exact);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].data.view(), "s3cret");
    EXPECT_EQ(found[0].attributes[KeychainAttribute::Account].string(), "VKLoginPasswordService");
    EXPECT_EQ(found[0].persistentReference, stored.persistentReference);

    // Unicode folding, not ASCII lower-casing.
    ASSERT_EQ(store.add(generic("Straße", "mail", "m")), KeychainStore::Success);
    auto folded = query(KeychainItemClass::GenericPassword,
        core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value("STRASSE") } }));
    folded.caseInsensitive = true;
    EXPECT_EQ(search(folded).size(), 1u);
    // A letter outside ASCII may fold into it: the Kelvin sign is a k.
    ASSERT_EQ(store.add(generic("kelvin", "units", "k")), KeychainStore::Success);
    folded.attributes = core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value("\u212Aelvin") } });
    EXPECT_EQ(search(folded).size(), 1u);

    // Only what is asked for comes back; the first match unless all are wanted.
    KeychainQuery byClass;
    byClass.returnData = true;
    found = search(byClass);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].data.view(), "s3cret");
    EXPECT_TRUE(found[0].attributes.dictionary().empty());
    EXPECT_TRUE(found[0].persistentReference.empty());
    byClass.matchAll = true;
    EXPECT_EQ(search(byClass).size(), 4u);
    EXPECT_EQ(search(query(KeychainItemClass::InternetPassword, core::Value::makeDictionary()), KeychainStore::ItemNotFound).size(), 0u);
}

TEST_F(KeychainItemListTest, UpdatesAndRemovalsTouchEveryMatchOrNothing)
{
    ASSERT_EQ(store.add(generic("a", "svc", "1")), KeychainStore::Success);
    ASSERT_EQ(store.add(generic("b", "svc", "2")), KeychainStore::Success);
    ASSERT_EQ(store.add(generic("c", "keep", "3")), KeychainStore::Success);
    auto created = search(query(KeychainItemClass::GenericPassword, core::Value::makeDictionary())).front().creationDate;

    core::RunLoop::main().advance(60);
    auto service = core::Value::makeDictionary({ { KeychainAttribute::Service, core::Value("svc") } });
    sec::KeychainChanges changes;
    changes.data = core::Data(std::string("new"));
    ASSERT_EQ(store.update(query(KeychainItemClass::GenericPassword, service), changes), KeychainStore::Success);
    auto all = query(KeychainItemClass::GenericPassword, service);
    all.matchAll = true;
    auto found = search(all);
    ASSERT_EQ(found.size(), 2u);
    for (const auto& item : found) {
        EXPECT_EQ(item.data.view(), "new");
        EXPECT_EQ(item.creationDate, created);
        EXPECT_EQ(item.modificationDate.timeIntervalSince(created), 60);
    }

    // Renaming both to one account would make them one item: nothing changes.
    sec::KeychainChanges rename;
    rename.attributes = core::Value::makeDictionary({ { KeychainAttribute::Account, core::Value("same") } });
    EXPECT_EQ(store.update(query(KeychainItemClass::GenericPassword, service), rename), KeychainStore::DuplicateItem);
    EXPECT_EQ(search(all).front().attributes[KeychainAttribute::Account].string(), "a");
    EXPECT_EQ(store.update(query(KeychainItemClass::GenericPassword,
                  core::Value::makeDictionary({ { KeychainAttribute::Service, core::Value("none") } })),
                  changes),
        KeychainStore::ItemNotFound);

    EXPECT_EQ(store.remove(query(KeychainItemClass::GenericPassword, service)), KeychainStore::Success);
    EXPECT_EQ(store.itemCount(), 1u);
    EXPECT_EQ(store.remove(query(KeychainItemClass::GenericPassword, service)), KeychainStore::ItemNotFound);
}

TEST_F(KeychainItemListTest, InternetPasswordsAreKnownByServerPortAndPath)
{
    ASSERT_EQ(store.add(internet("api.test", 443, "/1", "access")), KeychainStore::Success);
    EXPECT_EQ(store.add(internet("api.test", 443, "/1", "again")), KeychainStore::DuplicateItem);
    ASSERT_EQ(store.add(internet("api.test", 8443, "/1", "other port")), KeychainStore::Success);
    ASSERT_EQ(store.add(internet("api.test", 443, "/2", "other path")), KeychainStore::Success);

    auto byPort = query(KeychainItemClass::InternetPassword, core::Value::makeDictionary({
        { KeychainAttribute::Server, core::Value("API.test") }, { KeychainAttribute::Port, core::Value(int64_t(8443)) } }));
    byPort.caseInsensitive = true;
    auto found = search(byPort);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].data.view(), "other port");
    EXPECT_EQ(found[0].attributes[KeychainAttribute::Type].integer(), 0x6F617574);
    // Generic passwords and internet passwords are apart.
    EXPECT_EQ(store.remove(query(KeychainItemClass::GenericPassword, core::Value::makeDictionary())), KeychainStore::ItemNotFound);
}

TEST_F(KeychainItemListTest, MalformedQueriesAndItemsAreBadParameters)
{
    auto bad = [&](KeychainItemClass itemClass, core::Value attributes) {
        std::vector<KeychainItem> found;
        return store.copyMatching(query(itemClass, std::move(attributes)), found);
    };
    using V = core::Value;
    // A number where text belongs, text where a number belongs, an attribute
    // the class lacks, a port out of range, no dictionary at all.
    EXPECT_EQ(bad(KeychainItemClass::GenericPassword, V::makeDictionary({ { KeychainAttribute::Account, V(int64_t(5)) } })), KeychainStore::BadParameter);
    EXPECT_EQ(bad(KeychainItemClass::InternetPassword, V::makeDictionary({ { KeychainAttribute::Port, V("443") } })), KeychainStore::BadParameter);
    EXPECT_EQ(bad(KeychainItemClass::InternetPassword, V::makeDictionary({ { KeychainAttribute::Service, V("x") } })), KeychainStore::BadParameter);
    EXPECT_EQ(bad(KeychainItemClass::GenericPassword, V::makeDictionary({ { "colour", V("red") } })), KeychainStore::BadParameter);
    EXPECT_EQ(bad(KeychainItemClass::InternetPassword, V::makeDictionary({ { KeychainAttribute::Port, V(int64_t(65536)) } })), KeychainStore::BadParameter);
    EXPECT_EQ(bad(KeychainItemClass::GenericPassword, V("account")), KeychainStore::BadParameter);

    auto huge = generic("a", "b", std::string(KeychainStore::MaximumDataLength + 1, 'x'));
    EXPECT_EQ(store.add(huge), KeychainStore::BadParameter);
    huge.data = core::Data(std::string(KeychainStore::MaximumDataLength, 'x'));
    EXPECT_EQ(store.add(huge), KeychainStore::Success);
    sec::KeychainChanges changes;
    changes.data = core::Data(std::string(KeychainStore::MaximumDataLength + 1, 'x'));
    EXPECT_EQ(store.update(query(KeychainItemClass::GenericPassword, V::makeDictionary()), changes), KeychainStore::BadParameter);
    EXPECT_EQ(store.remove(query(KeychainItemClass::GenericPassword, V::makeDictionary({ { KeychainAttribute::Path, V("/") } }))),
        KeychainStore::BadParameter);
    EXPECT_EQ(store.itemCount(), 1u);
}

TEST_F(KeychainItemListTest, MemoryStoreCountsCallsAndFailsOnCue)
{
    using Operation = MemoryKeychainStore::Operation;
    store.failNext(Operation::Add, KeychainStore::NotAvailable);
    EXPECT_EQ(store.add(generic("a", "s", "1")), KeychainStore::NotAvailable);
    EXPECT_EQ(store.itemCount(), 0u);
    EXPECT_EQ(store.add(generic("a", "s", "1")), KeychainStore::Success);

    store.failNext(Operation::CopyMatching, KeychainStore::IOError);
    search(query(KeychainItemClass::GenericPassword, core::Value::makeDictionary()), KeychainStore::IOError);
    search(query(KeychainItemClass::GenericPassword, core::Value::makeDictionary()));
    store.failNext(Operation::Remove, KeychainStore::AllocationFailed);
    EXPECT_EQ(store.remove(query(KeychainItemClass::GenericPassword, core::Value::makeDictionary())), KeychainStore::AllocationFailed);
    EXPECT_EQ(store.itemCount(), 1u);

    EXPECT_EQ(store.calls(Operation::Add), 2u);
    EXPECT_EQ(store.calls(Operation::CopyMatching), 2u);
    EXPECT_EQ(store.calls(Operation::Remove), 1u);
    EXPECT_EQ(store.calls(Operation::Update), 0u);
    EXPECT_EQ(store.totalCalls(), 5u);
}

} // namespace
