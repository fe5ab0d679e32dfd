#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"
#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethodOAuth.h"
#include "DropboxSDK/MPOAuth/MPOAuthConnection.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLRequest.h"
#include "DropboxSDK/MPOAuth/MPOAuthURLResponse.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Exception.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Net/URLError.h"
#include "Platform/Security/MemoryKeychainStore.h"
#include "Platform/UI/Application.h"

#include "Support/TestCase.h"

#include <chrono>

using core::URL;

namespace {

using Events = std::vector<std::string>;

class Delegate : public MPOAuthAuthenticationMethodOAuthDelegate {
public:
    std::optional<core::URL> callbackURLForCompletedUserAuthorization() override { return callback; }
    bool automaticallyRequestAuthenticationFromURL(const core::URL& url, const std::optional<core::URL>&) override
    {
        opened.push_back(url.absoluteString());
        return opensItself;
    }
    std::optional<std::string> oauthVerifierForCompletedUserAuthorization() override { return verifier; }
    void authenticationDidFailWithError(const core::Error& error) override { failures.push_back(error.code()); }

    std::optional<core::URL> callback;
    std::optional<std::string> verifier;
    bool opensItself = false;
    std::vector<std::string> opened;
    std::vector<int64_t> failures;
};

// A target outside the library, and one that counts as its own.
class Client : public core::Object, public MPOAuthAPIRequestLoaderDelegate {
public:
    void loaderDidFailWithError(MPOAuthAPIRequestLoader&, const core::Error& error) override
    {
        events.push_back("failed " + std::to_string(error.code()));
    }
    Events events;
};
class InternalClient : public core::Object, public MPOAuthAPIInternalClient {
public:
    Events events;
};

class MPOAuthAPITest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        server = net::FakeURLServer::install("http://cloud.test/");
        // The configuration a test gives: the OAuth method for cloud.test,
        // after a name that is no class.
        core::Value settings = core::Value::makeDictionary({
            { MPOAuthRequestTokenURLKey, "http://cloud.test/oauth/request_token" },
            { MPOAuthUserAuthorizationURLKey, "http://cloud.test/oauth/authorize" },
            { MPOAuthAccessTokenURLKey, "http://cloud.test/oauth/access_token" },
        });
        core::Value configuration = core::Value::makeDictionary({
            { ".cloud.test", core::Value::makeDictionary({
                { "MPOAuthAuthenticationPreferredMethods", core::Value::makeArray({ "NoSuchMethod", "MPOAuthAuthenticationMethodOAuth" }) },
                { "MPOAuthAuthenticationMethodOAuth", settings } }) },
        });
        std::string bundle = makeFolder("Bundle");
        ASSERT_TRUE(core::PropertyList::writeFile(bundle + "/oauthAutoConfig.plist", configuration, core::PropertyList::Format::XML));
        core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(bundle));
        // Where pages nobody else opens go.
        ui::Application::setShared(application);
    }
    void TearDown() override
    {
        ui::Application::setShared(nullptr);
        test::TestCase::TearDown();
    }

    std::shared_ptr<MPOAuthAPI> makeAPI(const std::string& authentication = "http://cloud.test/",
        const std::string& base = "http://cloud.test/api/")
    {
        auto api = MPOAuthAPI::initWithCredentials(
            { { kMPOAuthCredentialConsumerKey, "key" }, { kMPOAuthCredentialConsumerSecret, "secret" } },
            URL::parse(authentication).value(), URL::parse(base).value(), false);
        api->credentials()->setKeychainStore(keychain);
        if (auto method = std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod()))
            method->setDelegate(delegate);
        return api;
    }

    // Every token notification, by name.
    void recordNotifications()
    {
        for (const char* name : { MPOAuthNotificationRequestTokenReceived, MPOAuthNotificationRequestTokenRejected,
                 MPOAuthNotificationAccessTokenReceived, MPOAuthNotificationAccessTokenRejected,
                 MPOAuthNotificationAccessTokenRefreshed, MPOAuthNotificationErrorHasOccurred }) {
            observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
                [this](const core::Notification& notification) { notifications.push_back(notification.name()); }));
        }
    }

    // The last load's query as a dictionary.
    core::Value::Dictionary lastQuery()
    {
        return MPURLRequestParameter::parameterDictionaryFromString(server->lastLoad()->request().url().query());
    }

    void answer(int status, const std::string& body)
    {
        auto load = server->lastLoad();
        load->respond(status, { { "Content-Type", "text/plain" } });
        load->send(body);
        load->finish();
        core::RunLoop::main().runUntilIdle();
    }

    std::shared_ptr<net::FakeURLServer> server;
    std::shared_ptr<sec::MemoryKeychainStore> keychain = std::make_shared<sec::MemoryKeychainStore>();
    std::shared_ptr<Delegate> delegate = std::make_shared<Delegate>();
    std::shared_ptr<ui::Application> application = std::make_shared<ui::Application>();
    std::vector<core::Observation> observations;
    Events notifications;
};

TEST_F(MPOAuthAPITest, ThreeLeggedFlowWithExpiryAndRefresh)
{
    recordNotifications();
    auto api = makeAPI();
    auto method = std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod());
    ASSERT_TRUE(method);
    EXPECT_EQ(method->oauthGetAccessTokenURL()->absoluteString(), "http://cloud.test/oauth/access_token");
    EXPECT_EQ(api->credentials()->signatureMethod(), "HMAC-SHA1");

    // No token: a request token, with "oob" for a callback.
    api->authenticate();
    auto query = lastQuery();
    EXPECT_EQ(server->lastLoad()->request().url().path(), "/oauth/request_token");
    EXPECT_EQ(query["oauth_callback"], core::Value("oob"));
    EXPECT_EQ(query["oauth_consumer_key"], core::Value("key"));
    EXPECT_EQ(query.count("oauth_token"), 0u);
    EXPECT_EQ(api->activeLoaders().size(), 1u);
    answer(200, "oauth_token=rt&oauth_token_secret=rts&oauth_callback_confirmed=true");
    EXPECT_TRUE(api->activeLoaders().empty());
    EXPECT_EQ(notifications, (Events { MPOAuthNotificationRequestTokenReceived }));
    EXPECT_EQ(api->credentials()->requestToken(), "rt");
    EXPECT_TRUE(method->oauth10aModeActive());

    // The delegate saw the page and left it to the application.
    ASSERT_EQ(delegate->opened.size(), 1u);
    EXPECT_EQ(delegate->opened[0], "http://cloud.test/oauth/authorize?oauth_token=rt&oauth_callback=oob");
    const auto& opened = application->openedURLs();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].absoluteString(), delegate->opened[0]);

    // The user authorised: the access token, with the verifier, signed with
    // the request token.
    delegate->verifier = "verified";
    api->authenticate();
    query = lastQuery();
    EXPECT_EQ(server->lastLoad()->request().url().path(), "/oauth/access_token");
    EXPECT_EQ(query["oauth_verifier"], core::Value("verified"));
    EXPECT_EQ(query["oauth_token"], core::Value("rt"));
    answer(200, "oauth_token=at&oauth_token_secret=ats&oauth_session_handle=sh&oauth_expires_in=3600");
    EXPECT_EQ(notifications.back(), MPOAuthNotificationAccessTokenReceived);
    EXPECT_TRUE(api->isAuthenticated());
    EXPECT_FALSE(api->credentials()->requestToken());
    EXPECT_FALSE(api->credentials()->requestTokenSecret());
    EXPECT_EQ(api->credentials()->accessToken(), "at");
    EXPECT_EQ(api->credentials()->signingKey(), "secret&ats");
    EXPECT_EQ(api->credentials()->sessionHandle(), "sh");
    core::Value expiry = core::UserDefaults::standard()->object(MPOAuthAutomaticTokenRefreshLastExpiryDate);
    ASSERT_TRUE(expiry.isDate());
    EXPECT_EQ(expiry.date(), core::Date::now().addingTimeInterval(3600));
    ASSERT_TRUE(method->refreshTimer());

    // An hour later the token is refreshed once, with the session handle.
    size_t loads = server->loads().size();
    core::RunLoop::main().advance(3599);
    EXPECT_EQ(server->loads().size(), loads);
    core::RunLoop::main().advance(1);
    ASSERT_EQ(server->loads().size(), loads + 1);
    query = lastQuery();
    EXPECT_EQ(query["oauth_session_handle"], core::Value("sh"));
    EXPECT_EQ(query["oauth_token"], core::Value("at"));
    answer(200, "oauth_token=at2&oauth_token_secret=ats2");
    EXPECT_EQ(notifications.back(), MPOAuthNotificationAccessTokenRefreshed);
    EXPECT_EQ(api->credentials()->accessToken(), "at2");

    // Authenticating with an access token past its expiry refreshes it.
    core::RunLoop::main().advance(1);
    loads = server->loads().size();
    api->authenticate();
    EXPECT_EQ(server->loads().size(), loads + 1);
    // An access token without an expiry drops the saved date and the timer.
    api->credentials()->setAccessToken(std::nullopt);
    api->credentials()->setRequestToken("rt2");
    answer(200, "oauth_token=at3&oauth_token_secret=ats3");
    EXPECT_EQ(notifications.back(), MPOAuthNotificationAccessTokenReceived);
    EXPECT_TRUE(core::UserDefaults::standard()->object(MPOAuthAutomaticTokenRefreshLastExpiryDate).isNull());
    EXPECT_FALSE(method->refreshTimer());
}

TEST_F(MPOAuthAPITest, ProblemsPostTheirNotificationsByTheTokensHeld)
{
    recordNotifications();
    auto api = makeAPI();
    api->credentials()->setRequestToken("rt");
    api->performMethod("call");
    EXPECT_EQ(server->lastLoad()->request().url().path(), "/api/call");
    answer(401, "oauth_problem=token_rejected");
    api->credentials()->setRequestToken(std::nullopt);
    api->credentials()->setAccessToken("at");
    api->performMethod("call");
    answer(400, "oauth_problem=token_rejected&oauth_problem_advice=again");
    api->performMethod("call");
    answer(200, "oauth_problem=nonce_used");
    api->performMethod("call");
    answer(401, "");
    EXPECT_EQ(notifications, (Events { MPOAuthNotificationRequestTokenRejected, MPOAuthNotificationAccessTokenRejected,
                                 MPOAuthNotificationErrorHasOccurred, MPOAuthNotificationErrorHasOccurred }));
    // The answer's parameters were read into the response.
    EXPECT_EQ(api->credentials()->accessToken(), "at");

    // A delegate that opens the page itself keeps the application out of it.
    api->credentials()->setAccessToken(std::nullopt);
    delegate->opensItself = true;
    delegate->callback = URL::parse("tandry://done");
    api->authenticate();
    EXPECT_EQ(lastQuery()["oauth_callback"], core::Value("tandry://done"));
    answer(200, "oauth_token=r&oauth_token_secret=s&xoauth_request_auth_url=http%3A%2F%2Fauth.test%2Fgo%3Fa%3D1");
    ASSERT_EQ(delegate->opened.size(), 1u);
    EXPECT_EQ(delegate->opened[0], "http://auth.test/go?a=1&oauth_token=r&oauth_callback=tandry%3A%2F%2Fdone");
    EXPECT_TRUE(application->openedURLs().empty());
    auto method = std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod());
    EXPECT_FALSE(method->oauth10aModeActive());

    // A failed load reaches the delegate.
    api->authenticate();
    server->lastLoad()->fail(net::URLError::CannotConnectToHost);
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(delegate->failures, (std::vector<int64_t> { net::URLError::CannotConnectToHost }));
}

TEST_F(MPOAuthAPITest, LoadersTellTheirTargetsInTheirOwnTerms)
{
    auto api = makeAPI();
    auto client = std::make_shared<Client>();
    auto internal = std::make_shared<InternalClient>();
    MPOAuthAction action;
    action.withText = [](core::Object& target, const URL& url, const std::string& text) {
        static_cast<Client&>(target).events.push_back(url.absoluteString() + " " + text);
    };
    action.withLoader = [](core::Object& target, MPOAuthAPIRequestLoader& loader, const std::string& data) {
        static_cast<InternalClient&>(target).events.push_back(std::to_string(loader.oauthResponse()->urlResponse()->statusCode()) + " " + data);
    };

    // Outside clients get the URL and the text in the answer's character set.
    api->performMethod("text", client, action);
    auto load = server->lastLoad();
    load->respond(200, { { "Content-Type", "text/plain; charset=ISO-8859-1" } });
    load->send("caf\xE9");
    load->finish();
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(client->events, (Events { "http://cloud.test/api/text caf\xC3\xA9" }));

    // Internal clients the loader and the bytes, with the parameters given.
    api->performPOSTMethod("../post", api->baseURL(), { MPURLRequestParameter("a", "b c") }, internal, action);
    EXPECT_EQ(server->lastLoad()->request().method(), "POST");
    EXPECT_EQ(server->lastLoad()->request().url().absoluteString(), "http://cloud.test/post");
    EXPECT_TRUE(server->lastLoad()->requestBody().starts_with("a=b%20c&oauth_consumer_key=key&"));
    answer(201, "caf\xE9");
    EXPECT_EQ(internal->events, (Events { "201 caf\xE9" }));

    // Failures go to targets that answer them.
    api->performMethod("gone", client, action);
    server->lastLoad()->fail(net::URLError::TimedOut);
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(client->events.back(), "failed -1001");

    // No method: the URL itself, which then needs a path or a query.
    api->performMethod(std::nullopt, URL::parse("http://cloud.test/x?y=1").value(), {});
    EXPECT_EQ(server->lastLoad()->request().url().path(), "/x");
    try {
        api->performMethod(std::nullopt, URL::parse("http://cloud.test").value(), {});
        FAIL() << "no exception";
    } catch (const core::Exception& exception) {
        EXPECT_EQ(exception.name(), "MPOAuthNilMethodRequestException");
        EXPECT_EQ(exception.reason(), "Nil was passed as the method to be performed on http://cloud.test");
    }

    // A signature method that signing refuses sends nothing.
    api->setSignatureScheme(MPOAuthSignatureScheme::RSASHA1);
    size_t loads = server->loads().size();
    EXPECT_THROW(api->performMethod("x"), core::Exception);
    EXPECT_EQ(server->loads().size(), loads);
    EXPECT_EQ(api->activeLoaders().size(), 1u);
}

TEST_F(MPOAuthAPITest, SynchronousCallsWaitForAWorker)
{
    auto api = makeAPI();
    server->setHandler([](net::FakeURLLoad& load) {
        std::string path = load.request().url().path();
        if (path == "/api/stall")
            return;
        if (path == "/api/broken") {
            load.fail(net::URLError::CannotConnectToHost);
            return;
        }
        load.respond(200);
        load.send("body of " + path);
        load.finish();
    });
    EXPECT_EQ(api->dataForMethod("data"), "body of /api/data");
    EXPECT_EQ(api->dataForMethod("more", { MPURLRequestParameter("q", "1") }), "body of /api/more");
    EXPECT_EQ(MPURLRequestParameter::parameterDictionaryFromString(server->lastLoad()->request().url().query())["q"],
        core::Value("1"));
    EXPECT_FALSE(api->dataForMethod("broken"));

    // Bounded by the request's time-out (real seconds: the worker waits for
    // real events).
    core::URLRequest stalling(URL::parse("http://cloud.test/api/stall").value(), core::URLRequest::CachePolicy::UseProtocol, 0.3);
    auto request = MPOAuthURLRequest::initWithURLRequest(stalling);
    std::optional<core::HTTPURLResponse> response;
    core::Error error;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(MPOAuthConnection::sendSynchronousRequest(request, api->credentials(), &response, &error));
    EXPECT_TRUE(error.is(net::URLErrorDomain, net::URLError::TimedOut)) << error.description();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(server->lastLoad()->isCancelled());
}

TEST_F(MPOAuthAPITest, DomainsAndTheURLsTheAPIIsGiven)
{
    EXPECT_TRUE(domainMatches("api.cloud.test", ".cloud.test"));
    EXPECT_TRUE(domainMatches("API.Cloud.Test", ".cloud.test"));
    EXPECT_TRUE(domainMatches("cloud.test", ".cloud.test"));
    EXPECT_TRUE(domainMatches("Cloud.Test", "cloud.test"));
    EXPECT_FALSE(domainMatches("cloud.tesx", "cloud.test"));
    EXPECT_FALSE(domainMatches("evilcloud.test", ".cloud.test"));
    EXPECT_FALSE(domainMatches("cloud.test.evil", ".cloud.test"));
    EXPECT_TRUE(domainMatches("10.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(domainMatches("10.0.0.10", "10.0.0.1"));
    EXPECT_FALSE(domainMatches("110.0.0.1", "10.0.0.1"));
    EXPECT_FALSE(domainMatches("x", ""));
    EXPECT_FALSE(domainMatches("", "x"));

    // The authentication URL given is the one used: its host picks the
    // method's settings and names the keychain's security domain.
    auto api = makeAPI("http://www.cloud.test/login", "http://api.elsewhere.test/");
    EXPECT_EQ(api->authenticationURL().host(), "www.cloud.test");
    EXPECT_EQ(api->credentials()->authenticationURL()->host(), "www.cloud.test");
    EXPECT_EQ(api->credentials()->baseURL()->host(), "api.elsewhere.test");
    auto method = std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod());
    ASSERT_TRUE(method);
    EXPECT_TRUE(method->oauthRequestTokenURL());

    // A host no domain matches gets the OAuth method without settings.
    auto other = makeAPI("http://other.test/", "http://other.test/");
    auto bare = std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(other->authenticationMethod());
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->oauthRequestTokenURL());
    other->authenticate();
    EXPECT_TRUE(logContains("no URL is configured"));

    // Credentials pass through to the store.
    api->setCredential("v", "name");
    EXPECT_EQ(api->credentialNamed("name"), core::Value("v"));
    api->removeCredentialNamed("name");
    EXPECT_TRUE(api->credentialNamed("name").isNull());
}

} // namespace
