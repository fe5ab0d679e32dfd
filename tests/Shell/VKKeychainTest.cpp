#include "Shell/VKKeychain.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Security/FileKeychainStore.h"
#include "Platform/Security/MemoryKeychainStore.h"
#include "Platform/Security/Pkcs12Identity.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

#include <sys/stat.h>

#include <algorithm>

using sec::KeychainStore;
using Operation = sec::MemoryKeychainStore::Operation;

namespace {

class VKKeychainTest : public test::TestCase {
protected:
    void SetUp() override
    {
        TestCase::SetUp();
        store = std::make_shared<sec::MemoryKeychainStore>();
        keychain = VKKeychain::create(store, pathInHome("Library/webdav.p12"));
        changes = core::NotificationCenter::defaultCenter().observe(VKKeychainDidChangeNotification, nullptr,
            [this](const core::Notification& note) { notified.push_back(note.object() == keychain); });
    }

    // The stored items of a service, as "account=secret".
    std::vector<std::string> stored(const std::string& service)
    {
        sec::KeychainQuery query;
        query.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Service, core::Value(service) } });
        query.matchAll = query.returnData = query.returnAttributes = true;
        std::vector<sec::KeychainItem> found;
        store->copyMatching(query, found);
        std::vector<std::string> result;
        for (const auto& item : found)
            result.push_back(item.attributes[sec::KeychainAttribute::Account].string() + "=" + item.data.toString());
        return result;
    }
    void addItem(const std::string& user, const std::string& service, const std::string& secret)
    {
        sec::KeychainItem item;
        item.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Account, core::Value(user) },
            { sec::KeychainAttribute::Service, core::Value(service) } });
        item.data = core::Data(secret);
        ASSERT_EQ(store->add(item), KeychainStore::Success);
    }
    size_t changeCalls() const
    {
        return store->calls(Operation::Add) + store->calls(Operation::Update) + store->calls(Operation::Remove);
    }

    std::shared_ptr<sec::MemoryKeychainStore> store;
    std::shared_ptr<VKKeychain> keychain;
    core::Observation changes;
    // One entry per notification: whether the keychain sent it.
    std::vector<bool> notified;
};

TEST_F(VKKeychainTest, ReadsIgnoreCaseAndAreCachedByUser)
{
    addItem(VKLoginPasswordService, VKLoginPasswordService, "pässword");
    EXPECT_EQ(keychain->passwordForUser("vkloginpasswordservice", "vkloginpasswordservice"), "pässword");
    EXPECT_EQ(store->calls(Operation::CopyMatching), 1u);
    EXPECT_EQ(keychain->passwordForUser("vkloginpasswordservice", "vkloginpasswordservice"), "pässword");
    // Keyed by the user alone: another service under that user reads the same.
    EXPECT_EQ(keychain->passwordForUser("vkloginpasswordservice", "Elsewhere"), "pässword");
    EXPECT_EQ(store->calls(Operation::CopyMatching), 1u);

    // Bytes that are not text answer nothing and are asked for again.
    addItem("Binary", "Binary", std::string("\xff\xfe", 2));
    EXPECT_EQ(keychain->passwordForUser("Binary", "Binary"), std::nullopt);
    EXPECT_EQ(keychain->passwordForUser("Binary", "Binary"), std::nullopt);
    EXPECT_EQ(store->calls(Operation::CopyMatching), 3u);
    EXPECT_EQ(keychain->passwordForUser("Missing", "Missing"), std::nullopt);
}

TEST_F(VKKeychainTest, WritesUpdateAddAndDeleteAndTellObservers)
{
    addItem(VKLoginPasswordService, VKLoginPasswordService, "old");
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "old");

    // An existing item keeps its spelling; the cached read is dropped.
    EXPECT_TRUE(keychain->setPassword("new", "vkloginpasswordservice", "VKLOGINPASSWORDSERVICE"));
    EXPECT_EQ(stored(VKLoginPasswordService), (std::vector<std::string> { "VKLoginPasswordService=new" }));
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "new");
    EXPECT_EQ(notified, (std::vector<bool> { true }));

    EXPECT_TRUE(keychain->setPassword("1234", VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_EQ(stored(VKPasscodeLockService), (std::vector<std::string> { "VKPasscodeLockService=1234" }));

    EXPECT_TRUE(keychain->setPassword(std::nullopt, VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_TRUE(stored(VKPasscodeLockService).empty());
    EXPECT_EQ(notified.size(), 3u);

    // Nothing for nothing: answered and told, the store only searched.
    const size_t before = changeCalls();
    EXPECT_TRUE(keychain->setPassword(std::nullopt, VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_EQ(changeCalls(), before);
    EXPECT_EQ(notified.size(), 4u);
    EXPECT_FALSE(logContains("Warning"));
}

TEST_F(VKKeychainTest, AFailedWriteLeavesNoPasswordOfTheServiceBehind)
{
    addItem(VKLoginPasswordService, VKLoginPasswordService, "old-secret");
    addItem("Other user", VKLoginPasswordService, "other-secret");
    store->failNext(Operation::Update, KeychainStore::IOError);
    EXPECT_FALSE(keychain->setPassword("new-secret", VKLoginPasswordService, VKLoginPasswordService));
    EXPECT_TRUE(logContains("Warning, SecItemUpdate failed: -36"));
    EXPECT_TRUE(logContains("Warning, setPassword failed for service: VKLoginPasswordService"));
    EXPECT_TRUE(stored(VKLoginPasswordService).empty());
    EXPECT_EQ(keychain->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), std::nullopt);
    // The old password is gone, and those who kept it hear so.
    EXPECT_EQ(notified.size(), 1u);

    // A failed add with nothing to remove: no change to tell.
    store->failNext(Operation::Add, KeychainStore::NotAvailable);
    EXPECT_FALSE(keychain->setPassword("new-secret", VKLoginPasswordService, VKLoginPasswordService));
    EXPECT_TRUE(logContains("Warning, SecItemAdd failed: -25291"));
    EXPECT_TRUE(logContains("Warning, SecItemDelete failed: -25300"));
    EXPECT_EQ(notified.size(), 1u);

    addItem(VKPasscodeLockService, VKPasscodeLockService, "1234");
    store->failNext(Operation::Remove, KeychainStore::IOError);
    EXPECT_FALSE(keychain->setPassword(std::nullopt, VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_TRUE(logContains("Warning, SecItemDelete failed: -36"));
    EXPECT_TRUE(stored(VKPasscodeLockService).empty());

    // A search that fails is no proof that nothing is stored.
    addItem(VKPasscodeLockService, VKPasscodeLockService, "5678");
    store->failNext(Operation::CopyMatching, KeychainStore::IOError);
    EXPECT_FALSE(keychain->setPassword(std::nullopt, VKPasscodeLockService, VKPasscodeLockService));
    EXPECT_TRUE(logContains("Warning, SecItemCopyMatching failed: -36"));
    EXPECT_TRUE(stored(VKPasscodeLockService).empty());

    for (const auto& line : logLines())
        for (const char* secret : { "old-secret", "new-secret", "1234", "5678" })
            EXPECT_EQ(line.find(secret), std::string::npos) << line;
}

TEST_F(VKKeychainTest, TheSettingsThatAServerPasswordOrAPasscodeWasSetFollowWhatWasAskedFor)
{
    const struct {
        const char* service;
        const char* other;
        bool (*wasSet)();
    } cases[] = {
        { VKLoginPasswordService, VKPasscodeLockService, &VKKeychain::wasLoginPasswordSet },
        { VKPasscodeLockService, VKLoginPasswordService, &VKKeychain::wasPasscodeSet },
    };
    for (auto [service, other, wasSet] : cases) {
        // Asked for is set, even when the store fails: the server stays
        // closed, the lock up.
        store->failNext(Operation::Add, KeychainStore::IOError);
        EXPECT_FALSE(keychain->setPassword("1234", service, service));
        EXPECT_TRUE(wasSet()) << service;
        // None there to remove: off all the same.
        EXPECT_FALSE(keychain->removeAllPasswordsForService(service));
        EXPECT_FALSE(wasSet()) << service;

        EXPECT_TRUE(keychain->setPassword("1234", service, service));
        // Another service's removal, and a removal that failed, leave it.
        EXPECT_TRUE(keychain->setPassword(std::nullopt, other, other));
        EXPECT_TRUE(wasSet()) << service;
        store->failNext(Operation::Remove, KeychainStore::IOError);
        EXPECT_FALSE(keychain->removeAllPasswordsForService(service));
        EXPECT_TRUE(wasSet()) << service;
        EXPECT_TRUE(keychain->setPassword(std::nullopt, service, service));
        EXPECT_FALSE(wasSet()) << service;
    }
}

TEST_F(VKKeychainTest, RemovingAServiceNamesItAsWrittenAndEmptiesTheCache)
{
    addItem(VKLoginPasswordService, VKLoginPasswordService, "a");
    addItem(VKPasscodeLockService, VKPasscodeLockService, "1234");
    EXPECT_EQ(keychain->passwordForUser(VKPasscodeLockService, VKPasscodeLockService), "1234");

    EXPECT_FALSE(keychain->removeAllPasswordsForService("vkloginpasswordservice"));
    EXPECT_TRUE(logContains("Warning, SecItemDelete failed: -25300"));
    EXPECT_TRUE(notified.empty());

    EXPECT_TRUE(keychain->removeAllPasswordsForService(VKLoginPasswordService));
    EXPECT_EQ(notified.size(), 1u);
    EXPECT_FALSE(keychain->removeAllPasswordsForService(VKLoginPasswordService));
    // Every cached entry went, not only the service's.
    const size_t searches = store->calls(Operation::CopyMatching);
    EXPECT_EQ(keychain->passwordForUser(VKPasscodeLockService, VKPasscodeLockService), "1234");
    EXPECT_EQ(store->calls(Operation::CopyMatching), searches + 1);
}

TEST_F(VKKeychainTest, TheSharedKeychainKeepsPasswordsInAnEncryptedFileOfTheHome)
{
    auto shared = VKKeychain::sharedKeychain();
    EXPECT_EQ(VKKeychain::sharedKeychain(), shared);
    ASSERT_TRUE(shared->setPassword("hunter2-rather-longer", VKLoginPasswordService, VKLoginPasswordService));
    const std::string file = pathInHome("Library/Keychain/Tandry.keychain");
    ASSERT_TRUE(core::fs::exists(file));
    EXPECT_EQ(readFile(file).find("hunter2"), std::string::npos);

    // The next start of the program reads it back.
    VKKeychain::setSharedKeychainForTesting(nullptr);
    auto again = VKKeychain::sharedKeychain();
    EXPECT_NE(again, shared);
    EXPECT_EQ(again->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "hunter2-rather-longer");
}

TEST_F(VKKeychainTest, TheServerIdentityIsMadeOncePerHomeAndKept)
{
    const std::string path = keychain->identityPath();
    EXPECT_FALSE(core::fs::exists(path));
    auto identity = keychain->sslIdentityAndCertificates();
    ASSERT_TRUE(identity);
    EXPECT_EQ(keychain->sslIdentityAndCertificates(), identity);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(test::runCommand({ "openssl", "pkcs12", "-info", "-in", path, "-passin", "pass:quillbrock", "-noout" }).status, 0);

    // Another home makes a key of its own.
    auto other = VKKeychain::create(store, pathInHome("other/Library/webdav.p12"));
    ASSERT_TRUE(other->sslIdentityAndCertificates());
    auto certificate = [](const std::string& file) {
        return test::runCommand({ "openssl", "pkcs12", "-in", file, "-passin", "pass:quillbrock", "-nokeys", "-clcerts" }).output;
    };
    EXPECT_NE(certificate(path).find("BEGIN CERTIFICATE"), std::string::npos);
    EXPECT_NE(certificate(path), certificate(other->identityPath()));
}

TEST_F(VKKeychainTest, AnIdentityFileThatDoesNotOpenIsTriedAgainLater)
{
    const std::string path = keychain->identityPath();
    makeFile("Library/webdav.p12", "not a PKCS#12 file");
    EXPECT_FALSE(keychain->sslIdentityAndCertificates());
    EXPECT_TRUE(logContains("Warning, unable to import the server identity"));

    ASSERT_TRUE(core::fs::removeItem(path));
    makeFolder("Library/webdav.p12");
    EXPECT_FALSE(keychain->sslIdentityAndCertificates());
    EXPECT_TRUE(logContains("Warning, unable to read the server identity"));

    ASSERT_TRUE(core::fs::removeItem(path));
    auto identity = keychain->sslIdentityAndCertificates();
    ASSERT_TRUE(identity);
    // Once had, kept, whatever becomes of the file.
    ASSERT_TRUE(core::fs::removeItem(path));
    EXPECT_EQ(keychain->sslIdentityAndCertificates(), identity);
    EXPECT_FALSE(core::fs::exists(path));
}

} // namespace
