#include "Shell/VKKeychain.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/DBSession.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Net/URLError.h"
#include "Platform/Security/MemoryKeychainStore.h"

#include "Support/TestCase.h"

namespace {

class DBSessionTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        VKKeychain::setSharedKeychainForTesting(VKKeychain::create(keychain, pathInHome("Library/webdav.p12")));
    }

    core::Value saved() { return core::UserDefaults::standard()->object(kDBDropboxSavedCredentialsKey); }
    // What the settings file holds, as the next launch reads it.
    core::Value savedOnDisk()
    {
        return core::UserDefaults::create(core::UserDefaults::standard()->path())->object(kDBDropboxSavedCredentialsKey);
    }

    std::shared_ptr<sec::MemoryKeychainStore> keychain = std::make_shared<sec::MemoryKeychainStore>();
};

TEST_F(DBSessionTest, TheTokenOutlivesTheSessionForItsConsumerKeyOnly)
{
    auto first = DBSession::initWithConsumerKey("consumer", "consumer secret");
    EXPECT_FALSE(first->isLinked());
    EXPECT_TRUE(first->savedCredentials().isNull());
    EXPECT_EQ(first->credentialStore()->signatureMethod(), "HMAC-SHA1");
    EXPECT_EQ(first->credentialStore()->consumerSecret(), "consumer secret");

    first->updateAccessToken("token", "token secret");
    EXPECT_TRUE(first->isLinked());
    EXPECT_EQ(first->credentialStore()->signingKey(), "consumer%20secret&token%20secret");
    core::Value expected = core::Value::makeDictionary({ { "kMPOAuthCredentialConsumerKey", "consumer" },
        { "kMPOAuthCredentialAccessToken", "token" }, { "kMPOAuthCredentialAccessTokenSecret", "token secret" } });
    EXPECT_EQ(saved(), expected);
    EXPECT_EQ(savedOnDisk(), expected);

    // The next launch with the same key starts linked.
    auto second = DBSession::initWithConsumerKey("consumer", "consumer secret");
    EXPECT_TRUE(second->isLinked());
    EXPECT_EQ(second->credentialStore()->accessToken(), "token");
    EXPECT_EQ(second->credentialStore()->accessTokenSecret(), "token secret");

    // Another key clears what was saved.
    auto other = DBSession::initWithConsumerKey("another", "s");
    EXPECT_FALSE(other->isLinked());
    EXPECT_TRUE(saved().isNull());
    EXPECT_FALSE(DBSession::initWithConsumerKey("consumer", "consumer secret")->isLinked());

    // An entry missing from the saved dictionary is not taken.
    second->saveCredentials(core::Value::makeDictionary({ { "kMPOAuthCredentialConsumerKey", "consumer" },
        { "kMPOAuthCredentialAccessToken", "only token" } }));
    auto partial = DBSession::initWithConsumerKey("consumer", "consumer secret");
    EXPECT_TRUE(partial->isLinked());
    EXPECT_FALSE(partial->credentialStore()->accessTokenSecret());
    partial->saveCredentials(core::Value());
    EXPECT_FALSE(saved().isNull());
}

TEST_F(DBSessionTest, UnlinkClearsTheTokenTheSettingsAndOnlyItsKeychainItems)
{
    ASSERT_TRUE(VKKeychain::sharedKeychain()->setPassword("passcode", VKPasscodeLockService, VKPasscodeLockService));
    auto session = DBSession::initWithConsumerKey("consumer", "secret");
    session->updateAccessToken("token", "token secret");
    session->credentialStore()->setCredential("token", kMPOAuthCredentialAccessToken);

    session->unlink();
    EXPECT_FALSE(session->isLinked());
    EXPECT_TRUE(saved().isNull());
    EXPECT_TRUE(savedOnDisk().isNull());
    EXPECT_FALSE(DBSession::initWithConsumerKey("consumer", "secret")->isLinked());
    EXPECT_FALSE(session->credentialStore()->findValueFromKeychainUsingName(kMPOAuthCredentialAccessToken));
    // The passcode stays.
    EXPECT_EQ(VKKeychain::sharedKeychain()->passwordForUser(VKPasscodeLockService, VKPasscodeLockService), "passcode");

    // A keychain that fails still leaves the account unlinked after a restart.
    session->updateAccessToken("token", "token secret");
    keychain->failNext(sec::MemoryKeychainStore::Operation::Remove, sec::KeychainStore::NotAvailable);
    EXPECT_THROW(session->unlink(), core::Exception);
    EXPECT_FALSE(session->isLinked());
    EXPECT_FALSE(session->credentialStore()->accessTokenSecret());
    EXPECT_TRUE(savedOnDisk().isNull());
}

TEST_F(DBSessionTest, SharedSessionAndDelegate)
{
    EXPECT_FALSE(DBSession::sharedSession());
    auto session = DBSession::initWithConsumerKey("consumer", "secret");
    std::weak_ptr<DBSession> watch = session;
    DBSession::setSharedSession(session);
    DBSession::setSharedSession(session);
    session.reset();
    EXPECT_FALSE(watch.expired());
    EXPECT_EQ(DBSession::sharedSession(), watch.lock());
    DBSession::setSharedSession(nullptr);
    EXPECT_TRUE(watch.expired());

    struct Delegate : DBSessionDelegate {
        int failures = 0;
        void sessionDidReceiveAuthorizationFailure(DBSession&) override { ++failures; }
    };
    auto delegate = std::make_shared<Delegate>();
    auto other = DBSession::initWithConsumerKey("consumer", "secret");
    other->setDelegate(delegate);
    other->delegate()->sessionDidReceiveAuthorizationFailure(*other);
    EXPECT_EQ(delegate->failures, 1);
    delegate.reset();
    EXPECT_FALSE(other->delegate());
}

TEST_F(DBSessionTest, SecretsReachNoLogDescriptionOrError)
{
    const std::string consumerSecret = "CONSUMER-SECRET-7f3a";
    const std::string tokenSecret = "TOKEN-SECRET-91bc";
    const std::string password = "PASSWORD-4d2e";
    auto server = net::FakeURLServer::install("https://api.cloud.test/");
    auto session = DBSession::initWithConsumerKey("consumer", consumerSecret);
    auto store = session->credentialStore();
    auto target = std::make_shared<core::Object>();
    auto signedRequest = [&](const std::string& path, MPURLRequestParameter::List parameters, const std::string& method) {
        auto request = MPOAuthURLRequest::initWithURL(core::URL::parse("https://api.cloud.test" + path).value(), parameters);
        request.setHTTPMethod(method);
        request.addParameters(store->oauthParameters());
        auto sent = DBRequest::initWithURLRequest(request.urlRequestSignedWithSecret(store->signingKey(),
            *store->signatureMethod()), target, [](core::Object&, DBRequest&) { });
        sent->setUserInfo({ { "path", core::Value(path) } });
        sent->setResultFilename(pathInHome("tmp-missing-folder/out"));
        return sent;
    };

    // A login that the service refuses, with the password in its body.
    auto login = signedRequest("/0/token", { MPURLRequestParameter("email", "a@b.test"),
        MPURLRequestParameter("password", password) }, "POST");
    EXPECT_NE(server->lastLoad()->requestBody().find(password), std::string::npos);
    server->lastLoad()->respond(401);
    server->lastLoad()->send(R"({"error":"Invalid password"})");
    server->lastLoad()->finish();
    // A linked call that fails on the way, and one whose file cannot move.
    session->updateAccessToken("token", tokenSecret);
    auto call = signedRequest("/0/account/info", {}, "GET");
    server->lastLoad()->fail(net::URLError::NetworkConnectionLost);
    auto download = signedRequest("/0/files/a", {}, "GET");
    server->lastLoad()->respond(200);
    server->lastLoad()->send("data");
    server->lastLoad()->finish();
    // The file is moved on its writer's thread.
    core::RunLoop::main().runUntil([&] { return login->error() && call->error() && download->error(); }, 10);
    ASSERT_TRUE(login->error() && call->error() && download->error());
    // And a keychain that fails while unlinking.
    std::vector<std::string> texts;
    keychain->failNext(sec::MemoryKeychainStore::Operation::Remove, sec::KeychainStore::BadParameter);
    try {
        session->unlink();
    } catch (const core::Exception& exception) {
        texts.push_back(exception.reason());
    }

    ASSERT_FALSE(logLines().empty());
    for (const auto& line : logLines())
        texts.push_back(line);
    for (const auto& request : { login, call, download })
        texts.push_back(request->error().description() + core::Value(request->error().userInfo()).description());
    texts.push_back(store->description());
    texts.push_back(session->description());
    for (const auto& text : texts) {
        for (const auto& secret : { consumerSecret, tokenSecret, password })
            EXPECT_EQ(text.find(secret), std::string::npos) << text;
    }
}

} // namespace
