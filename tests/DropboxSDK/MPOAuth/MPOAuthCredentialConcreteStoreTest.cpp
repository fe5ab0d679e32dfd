#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "Platform/Core/Exception.h"
#include "Platform/Security/MemoryKeychainStore.h"

#include "Support/TestCase.h"

using Operation = sec::MemoryKeychainStore::Operation;

namespace {

class MPOAuthCredentialConcreteStoreTest : public test::TestCase {
protected:
    std::shared_ptr<MPOAuthCredentialConcreteStore> makeStore()
    {
        auto store = MPOAuthCredentialConcreteStore::initWithCredentials(
            { { kMPOAuthCredentialConsumerKey, "key" }, { kMPOAuthCredentialConsumerSecret, "secret" } },
            core::URL::parse("https://api.cloud.test/0/").value(), core::URL::parse("https://www.cloud.test/").value());
        store->setKeychainStore(keychain);
        return store;
    }

    std::vector<sec::KeychainItem> internetPasswords()
    {
        sec::KeychainQuery query;
        query.itemClass = sec::KeychainItemClass::InternetPassword;
        query.matchAll = true;
        query.returnData = true;
        query.returnAttributes = true;
        std::vector<sec::KeychainItem> items;
        keychain->copyMatching(query, items);
        return items;
    }

    template<typename Call>
    std::string raisedName(Call call)
    {
        try {
            call();
        } catch (const core::Exception& exception) {
            return exception.name() + ": " + exception.reason();
        }
        return "nothing";
    }

    std::shared_ptr<sec::MemoryKeychainStore> keychain = std::make_shared<sec::MemoryKeychainStore>();
};

TEST_F(MPOAuthCredentialConcreteStoreTest, CredentialsGoToInternetPasswordsOfTheStoresHosts)
{
    auto store = makeStore();
    store->setCredential("first", "oauth_token_request");
    EXPECT_EQ(store->credentialNamed("oauth_token_request"), core::Value("first"));
    auto items = internetPasswords();
    ASSERT_EQ(items.size(), 1u);
    const core::Value& attributes = items[0].attributes;
    EXPECT_EQ(attributes[sec::KeychainAttribute::SecurityDomain], core::Value("www.cloud.test"));
    EXPECT_EQ(attributes[sec::KeychainAttribute::Server], core::Value("api.cloud.test"));
    EXPECT_EQ(attributes[sec::KeychainAttribute::Account], core::Value("oauth_token_request"));
    EXPECT_EQ(attributes[sec::KeychainAttribute::Type], core::Value(0x6F617574));
    EXPECT_EQ(attributes[sec::KeychainAttribute::AuthenticationType], core::Value(sec::KeychainAuthenticationDefault));
    EXPECT_EQ(items[0].data.toString(), "first");

    // A second value updates the item.
    store->setCredential("sécond", "oauth_token_request");
    items = internetPasswords();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].data.toString(), "sécond");
    sec::KeychainItem found;
    EXPECT_EQ(store->findValueFromKeychainUsingName("oauth_token_request", &found), "sécond");
    EXPECT_FALSE(found.persistentReference.empty());
    EXPECT_EQ(keychain->calls(Operation::Add), 1u);
    EXPECT_EQ(keychain->calls(Operation::Update), 1u);

    // Tokens live in the store only; setting none deletes their items too.
    store->setAccessToken("token");
    EXPECT_EQ(internetPasswords().size(), 1u);
    store->setCredential("kept", kMPOAuthCredentialAccessToken);
    EXPECT_EQ(internetPasswords().size(), 2u);
    store->setAccessToken(std::nullopt);
    EXPECT_FALSE(store->accessToken());
    EXPECT_FALSE(store->findValueFromKeychainUsingName(kMPOAuthCredentialAccessToken));
    store->removeCredentialNamed("oauth_token_request");
    EXPECT_TRUE(store->credentialNamed("oauth_token_request").isNull());
    EXPECT_TRUE(internetPasswords().empty());
}

TEST_F(MPOAuthCredentialConcreteStoreTest, DiscardingRemovesInOrderAndOnlyItsOwnItems)
{
    auto store = makeStore();
    // Someone else's internet password, and a generic one, in the same keychain.
    sec::KeychainItem other;
    other.itemClass = sec::KeychainItemClass::InternetPassword;
    other.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Server, "mail.test" },
        { sec::KeychainAttribute::Account, "me" } });
    other.data = core::Data(std::string_view("mail password"));
    ASSERT_EQ(keychain->add(other), 0);
    sec::KeychainItem generic;
    generic.attributes = core::Value::makeDictionary({ { sec::KeychainAttribute::Service, "VKPasscodeLockService" },
        { sec::KeychainAttribute::Account, "VKPasscodeLockService" } });
    ASSERT_EQ(keychain->add(generic), 0);

    // A session's store names no host at all: still only its own items go.
    auto session = MPOAuthCredentialConcreteStore::initWithCredentials({ { kMPOAuthCredentialConsumerKey, "k" } });
    session->setKeychainStore(keychain);
    session->setCredential("t", kMPOAuthCredentialAccessToken);
    store->setCredential("t2", kMPOAuthCredentialAccessToken);
    store->setRequestToken("r");
    store->setRequestTokenSecret("rs");
    store->setSessionHandle("h");
    size_t removals = keychain->calls(Operation::Remove);
    session->discardOAuthCredentials();
    store->discardOAuthCredentials();
    EXPECT_EQ(keychain->calls(Operation::Remove), removals + 10);
    EXPECT_FALSE(store->requestToken() || store->requestTokenSecret() || store->sessionHandle());

    auto left = internetPasswords();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].attributes[sec::KeychainAttribute::Account], core::Value("me"));
    EXPECT_EQ(keychain->itemCount(), 2u);
}

TEST_F(MPOAuthCredentialConcreteStoreTest, KeychainStatusesRaiseOrAnswerNothing)
{
    auto store = makeStore();
    keychain->failNext(Operation::Add, sec::KeychainStore::DuplicateItem);
    EXPECT_EQ(raisedName([&] { store->setCredential("v", "name"); }),
        "Keychain duplicate item exception: Item already exists for name");
    keychain->failNext(Operation::Add, sec::KeychainStore::NotAvailable);
    EXPECT_EQ(raisedName([&] { store->setCredential("v", "name"); }),
        "Keychain Not Available: Keychain Access Not Currently Available");
    keychain->failNext(Operation::Add, sec::KeychainStore::IOError);
    EXPECT_EQ(raisedName([&] { store->setCredential("v", "name"); }), "nothing");

    keychain->failNext(Operation::Remove, sec::KeychainStore::BadParameter);
    std::string raised = raisedName([&] { store->setAccessToken(std::nullopt); });
    EXPECT_TRUE(raised.starts_with("Keychain parameter error: One or more parameters passed to the function were not valid from "))
        << raised;
    keychain->failNext(Operation::Remove, sec::KeychainStore::AllocationFailed);
    EXPECT_EQ(raisedName([&] { store->setAccessToken(std::nullopt); }), "Keychain memory error: Failed to allocate memory");
    keychain->failNext(Operation::Remove, sec::KeychainStore::NotAvailable);
    EXPECT_EQ(raisedName([&] { store->setAccessToken(std::nullopt); }),
        "Keychain Not Available: Keychain Access Not Currently Available");
    // Nothing to delete is no failure.
    EXPECT_EQ(raisedName([&] { store->setAccessToken(std::nullopt); }), "nothing");

    // Discarding goes in its order: a failure on the first removal leaves
    // the request token gone and the rest in place.
    store->setRequestToken("r");
    store->setRequestTokenSecret("rs");
    store->setAccessToken("a");
    keychain->failNext(Operation::Remove, sec::KeychainStore::AllocationFailed);
    EXPECT_THROW(store->discardOAuthCredentials(), core::Exception);
    EXPECT_FALSE(store->requestToken());
    EXPECT_EQ(store->requestTokenSecret(), "rs");
    EXPECT_EQ(store->accessToken(), "a");

    // Failed lookups answer nothing, as does a value that is not text.
    store->setCredential("v", "name");
    keychain->failNext(Operation::CopyMatching, sec::KeychainStore::IOError);
    EXPECT_FALSE(store->findValueFromKeychainUsingName("name"));
    EXPECT_EQ(store->findValueFromKeychainUsingName("name"), "v");
    store->setCredential("\xff\xfe", "binary");
    EXPECT_FALSE(store->findValueFromKeychainUsingName("binary"));
}

} // namespace
