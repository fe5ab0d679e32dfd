// The whole token flow against a provider that checks every signature with
// code of its own (oauth_provider.py, Python's standard library), over real
// sockets; the user's consent is given by curl.

#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"
#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethodOAuth.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Security/MemoryKeychainStore.h"

#include "Support/ChildProcess.h"
#include "Support/Command.h"
#include "Support/TestCase.h"

namespace {

class Consent : public MPOAuthAuthenticationMethodOAuthDelegate {
public:
    bool automaticallyRequestAuthenticationFromURL(const core::URL& url, const std::optional<core::URL>&) override
    {
        page = url.absoluteString();
        return true;
    }
    std::optional<std::string> oauthVerifierForCompletedUserAuthorization() override { return verifier; }

    std::string page;
    std::optional<std::string> verifier;
};

class Reader : public core::Object {
public:
    std::vector<std::string> texts;
};

class MPOAuthProviderTest : public test::TestCase {
protected:
    void SetUp() override
    {
        test::TestCase::SetUp();
        provider = std::make_unique<test::ChildProcess>(std::vector<std::string> { "python3",
            sourcePath("tests/DropboxSDK/MPOAuth/oauth_provider.py"), "--consumer", "demo-key:demo secret/+" });
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return provider->output().find('\n') != std::string::npos; }, 15))
            << provider->errors();
        const std::string& greeting = provider->output();
        port = std::stoi(greeting.substr(greeting.find(':') + 1));
        base = "http://127.0.0.1:" + std::to_string(port);

        core::Value settings = core::Value::makeDictionary({
            { MPOAuthRequestTokenURLKey, base + "/oauth/request_token" },
            { MPOAuthUserAuthorizationURLKey, base + "/oauth/authorize" },
            { MPOAuthAccessTokenURLKey, base + "/oauth/access_token" },
        });
        std::string bundle = makeFolder("Bundle");
        ASSERT_TRUE(core::PropertyList::writeFile(bundle + "/oauthAutoConfig.plist",
            core::Value::makeDictionary({ { "127.0.0.1", core::Value::makeDictionary({
                { "MPOAuthAuthenticationPreferredMethods", core::Value::makeArray({ "MPOAuthAuthenticationMethodOAuth" }) },
                { "MPOAuthAuthenticationMethodOAuth", settings } }) } }),
            core::PropertyList::Format::XML));
        core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(bundle));

        for (const char* name : { MPOAuthNotificationRequestTokenReceived, MPOAuthNotificationAccessTokenReceived,
                 MPOAuthNotificationErrorHasOccurred, MPOAuthNotificationAccessTokenRejected }) {
            observations.push_back(core::NotificationCenter::defaultCenter().observe(name, nullptr,
                [this](const core::Notification& notification) { notifications.push_back(notification.name()); }));
        }
    }

    std::shared_ptr<MPOAuthAPI> makeAPI(const std::string& secret)
    {
        auto api = MPOAuthAPI::initWithCredentials(
            { { kMPOAuthCredentialConsumerKey, "demo-key" }, { kMPOAuthCredentialConsumerSecret, secret } },
            core::URL::parse(base + "/").value(), core::URL::parse(base + "/api/").value(), false);
        api->credentials()->setKeychainStore(std::make_shared<sec::MemoryKeychainStore>());
        std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod())->setDelegate(consent);
        return api;
    }

    bool waitForNotifications(size_t count)
    {
        return core::RunLoop::main().runUntil([&] { return notifications.size() >= count; }, 15);
    }

    std::unique_ptr<test::ChildProcess> provider;
    int port = 0;
    std::string base;
    std::shared_ptr<Consent> consent = std::make_shared<Consent>();
    std::vector<core::Observation> observations;
    std::vector<std::string> notifications;
};

TEST_F(MPOAuthProviderTest, TokensFromAProviderThatChecksEverySignature)
{
    auto api = makeAPI("demo secret/+");
    api->authenticate();
    ASSERT_TRUE(waitForNotifications(1));
    ASSERT_EQ(notifications.back(), MPOAuthNotificationRequestTokenReceived) << provider->errors();
    ASSERT_TRUE(consent->page.starts_with(base + "/oauth/authorize?oauth_token=rt-")) << consent->page;

    // The user agrees in the browser; the page shows the verifier.
    auto page = test::runCommand({ "curl", "-s", consent->page });
    ASSERT_TRUE(page.output.starts_with("verifier=")) << page.output;
    consent->verifier = page.output.substr(9);
    api->authenticate();
    ASSERT_TRUE(waitForNotifications(2));
    ASSERT_EQ(notifications.back(), MPOAuthNotificationAccessTokenReceived);
    EXPECT_TRUE(api->isAuthenticated());
    EXPECT_TRUE(api->credentials()->accessToken()->starts_with("at-"));
    EXPECT_EQ(api->credentials()->sessionHandle(), "sh-1");

    // A signed call with the access token, GET and POST.
    auto reader = std::make_shared<Reader>();
    MPOAuthAction action;
    action.withText = [](core::Object& target, const core::URL&, const std::string& text) {
        static_cast<Reader&>(target).texts.push_back(text);
    };
    api->performMethod("photos", reader, action);
    api->performPOSTMethod("albums", api->baseURL(), { MPURLRequestParameter("name", "été & co") }, reader, action);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return reader->texts.size() == 2; }, 15));
    std::sort(reader->texts.begin(), reader->texts.end());
    EXPECT_EQ(reader->texts, (std::vector<std::string> { "albums for demo", "photos for demo" }));

    // A wrong consumer secret is refused.
    notifications.clear();
    auto wrong = makeAPI("not the secret");
    wrong->authenticate();
    ASSERT_TRUE(waitForNotifications(1));
    EXPECT_EQ(notifications, (std::vector<std::string> { MPOAuthNotificationErrorHasOccurred }));
    EXPECT_FALSE(wrong->credentials()->requestToken());
}

} // namespace
