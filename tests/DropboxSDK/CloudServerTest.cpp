// The fake cloud service checked on its own, so that the client's tests
// against it mean something: a second OAuth client (python3-oauthlib) and
// curl with URLs our code signed get the same verdicts, ranges, 100-continue,
// the limits on heads and paths, and the token flow of the OAuth library.

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"
#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethodOAuth.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Security/MemoryKeychainStore.h"

#include "RestClientTestCase.h"
#include "Support/ChildProcess.h"
#include "Support/Command.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

using test::Recorder;

// A client that hands out what it signs.
class SigningClient : public DBRestClient {
public:
    static std::shared_ptr<SigningClient> create(std::shared_ptr<DBSession> session)
    {
        return std::shared_ptr<SigningClient>(new SigningClient(std::move(session)));
    }
    using DBRestClient::requestWithProtocol;

private:
    explicit SigningClient(std::shared_ptr<DBSession> session)
        : DBRestClient(std::move(session), "dropbox")
    {
    }
};

class CloudServerTest : public test::RestClientTestCase {
protected:
    // curl's status line code and body for a request, as "CODE BODY".
    test::CommandResult curl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), { "curl", "-s", "-w", " %{http_code}" });
        return test::runCommand(arguments);
    }
};

TEST_F(CloudServerTest, ASecondOAuthClientGetsTheSameVerdicts)
{
    cloudFolder("/Photos");
    const auto [token, secret] = server->issueToken();
    auto result = test::runCommand({ "/usr/bin/python3", sourcePath("tests/DropboxSDK/oauthlib_cloud_client.py"),
        server->baseURL(), server->consumerKey(), server->consumerSecret(), token, secret });
    ASSERT_EQ(result.status, 0) << "python3-oauthlib missing? (scripts/install-deps)";
    EXPECT_EQ(result.output, "200 401 200 401\n") << server->errors();
    EXPECT_TRUE(std::filesystem::is_directory(server->localPath("/From oauthlib")));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/Tampered")));
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].verdict, "Invalid signature");
    EXPECT_EQ(requests[3].parameter("path"), "/Tampered");
}

TEST_F(CloudServerTest, CurlSendsWhatOurCodeSigned)
{
    cloudFile("/a.txt", "abcdef");
    core::UserDefaults::standard()->set(VKCloudAPIBaseURL, server->baseURL());
    core::UserDefaults::standard()->set(VKCloudContentBaseURL, server->baseURL());
    auto signer = SigningClient::create(session);
    auto url = [&](const std::string& path, const core::Value::Dictionary& parameters = {}) {
        return signer->requestWithProtocol(kDBProtocolHTTPS, kDBDropboxAPIContentHost, path, parameters).url().absoluteString();
    };

    EXPECT_EQ(curl({ url("/files/dropbox/a.txt") }).output, "abcdef 200");
    EXPECT_EQ(curl({ "-r", "1-2", url("/files/dropbox/a.txt") }).output, "bc 206");
    EXPECT_EQ(curl({ "-r", "4-", url("/files/dropbox/a.txt") }).output, "ef 206");
    EXPECT_EQ(curl({ "-r", "6-", "-o", "/dev/null", url("/files/dropbox/a.txt") }).output, " 416");
    // A signed URL is good once: its nonce is used up.
    const std::string once = url("/metadata/dropbox/a.txt");
    EXPECT_TRUE(curl({ "-o", "/dev/null", once }).output.ends_with(" 200"));
    EXPECT_EQ(curl({ once }).output, R"({"error":"Nonce already used"} 401)");

    // A form POST, with the client waiting for "100 Continue".
    auto post = signer->requestWithProtocol(kDBProtocolHTTP, kDBDropboxAPIHost, "/fileops/create_folder",
        { { "root", core::Value("dropbox") }, { "path", core::Value("/Made by curl") } }, "POST");
    auto made = curl({ "-o", "/dev/null", "-H", "Expect: 100-continue", "-H", "Content-Type: application/x-www-form-urlencoded",
        "--data-binary", std::string(post.body().view()), post.url().absoluteString() });
    EXPECT_EQ(made.output, " 200");
    EXPECT_TRUE(std::filesystem::is_directory(server->localPath("/Made by curl")));

    // Over TLS, with the test CA and the API host's name.
    core::UserDefaults::standard()->remove(VKCloudContentBaseURL);
    auto secure = curl({ "--cacert", server->caFile(), "--connect-to",
        std::string(kDBDropboxAPIContentHost) + ":443:127.0.0.1:" + std::to_string(server->tlsPort()),
        url("/files/dropbox/a.txt") });
    EXPECT_EQ(secure.output, "abcdef 200");
    EXPECT_EQ(lastRequest().scheme, "https");
    EXPECT_EQ(lastRequest().verdict, "ok");
}

TEST_F(CloudServerTest, PathsAndHeadsStayWithinBounds)
{
    cloudFile("/inside.txt", "in");
    const std::string outside = makeFile("outside/secret.txt", "secret");
    ASSERT_EQ(symlink(std::filesystem::path(outside).parent_path().c_str(), server->localPath("/out").c_str()), 0);
    ASSERT_EQ(symlink("inside.txt", server->localPath("/alias.txt").c_str()), 0);

    const std::string base = "/0/metadata/dropbox";
    for (const std::string& path : { base + "/../..", base + "/a/%2E%2E/b", base + "/a%00b", base + "/%FF" }) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(test::rawHTTPExchange(server->port(), "GET", path).starts_with("HTTP/1.1 400 "));
    }
    // A link out of the root is refused and left out of listings; one
    // inside it is what it names.
    EXPECT_EQ(call([&] { client->loadMetadata("/out"); }), (Recorder::Events { "loadMetadataFailed 400" }));
    EXPECT_EQ(call([&] { client->loadFile("/out/secret.txt", pathInHome("got.txt")); }), (Recorder::Events { "loadFileFailed 400" }));
    EXPECT_FALSE(std::filesystem::exists(pathInHome("got.txt")));
    EXPECT_EQ(call([&] { client->loadMetadata("/"); }), (Recorder::Events { "loadedMetadata /" }));
    std::vector<std::string> names;
    for (const auto& child : *recorder->metadata->contents())
        names.push_back(child->path().value_or(""));
    EXPECT_EQ(names, (std::vector<std::string> { "/alias.txt", "/inside.txt" }));

    // Heads stop at 64 KiB.
    auto big = curl({ "-o", "/dev/null", "-H", "X-Filler: " + std::string(70000, 'x'), server->baseURL() + "/0/token" });
    EXPECT_EQ(big.output, " 431");
    auto fine = curl({ "-o", "/dev/null", "-H", "X-Filler: " + std::string(60000, 'x'), server->baseURL() + "/0/token" });
    EXPECT_EQ(fine.output, " 401");
}

TEST_F(CloudServerTest, LargeFilesKeepTheirSize)
{
    // A sparse file of 5 GiB: its size in 64 bits, its end by range.
    const int64_t size = int64_t(5) << 30;
    const std::string path = cloudFile("/huge.bin");
    ASSERT_EQ(truncate(path.c_str(), size), 0);
    EXPECT_EQ(call([&] { client->loadMetadata("/huge.bin"); }), (Recorder::Events { "loadedMetadata /huge.bin" }));
    EXPECT_EQ(recorder->metadata->totalBytes(), size);
    EXPECT_EQ(recorder->metadata->humanReadableSize(), "5.0 GB");
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
    EXPECT_EQ(recorder->accountInfo->quota()->normalConsumedBytes(), size);

    auto signer = SigningClient::create(session);
    const std::string url = signer->requestWithProtocol(kDBProtocolHTTP, kDBDropboxAPIContentHost, "/files/dropbox/huge.bin", {})
                                .url().absoluteString();
    const std::string route = std::string(kDBDropboxAPIContentHost) + ":80:127.0.0.1:" + std::to_string(server->port());
    auto tail = test::runCommand({ "curl", "-s", "-o", "/dev/null", "-r", std::to_string(size - 10) + "-", "--connect-to", route,
        "-w", "%{http_code} %{size_download}", url });
    EXPECT_EQ(tail.output, "206 10");
}

TEST_F(CloudServerTest, FaultsAreServedAsAsked)
{
    cloudFile("/a.txt", std::string(10000, 'a'));
    auto signer = SigningClient::create(session);
    auto url = [&](const std::string& path) {
        return signer->requestWithProtocol(kDBProtocolHTTP, kDBDropboxAPIContentHost, path, {}).url().absoluteString();
    };
    const std::string resolve = std::string(kDBDropboxAPIContentHost) + ":80:127.0.0.1:" + std::to_string(server->port());

    // A count: once, then the real answer; by path.
    server->addFault(R"({"endpoint":"files","path":"/A.TXT","status":429,"headers":{"Retry-After":"3"},"body":"slow down"})");
    auto limited = test::runCommand({ "curl", "-s", "-i", "--connect-to", resolve, url("/files/dropbox/a.txt") });
    EXPECT_TRUE(limited.output.starts_with("HTTP/1.1 429 ")) << limited.output;
    EXPECT_NE(limited.output.find("Retry-After: 3\r\n"), std::string::npos);
    EXPECT_TRUE(limited.output.ends_with("\r\n\r\nslow down"));
    EXPECT_EQ(curl({ "-o", "/dev/null", "--connect-to", resolve, url("/files/dropbox/a.txt") }).output, " 200");

    // No length: the body ends with the connection.
    server->addFault(R"({"endpoint":"files","no_length":true})");
    auto unframed = test::runCommand({ "curl", "-s", "-i", "--connect-to", resolve, url("/files/dropbox/a.txt") });
    EXPECT_EQ(unframed.output.find("Content-Length"), std::string::npos);
    EXPECT_TRUE(unframed.output.ends_with(std::string(10000, 'a')));

    // Closed before the head, always.
    server->addFault(R"({"endpoint":"account/info","always":true,"close_before_head":true})");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadAccountInfoFailed -1005" }));

    // Reset forgets faults and the log.
    server->reset();
    EXPECT_TRUE(server->requests().empty());
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
}

TEST_F(CloudServerTest, TheOAuthTokenFlowCompletesAgainstTheFake)
{
    const std::string base = server->baseURL();
    std::string bundle = makeFolder("Bundle");
    ASSERT_TRUE(core::PropertyList::writeFile(bundle + "/oauthAutoConfig.plist",
        core::Value::makeDictionary({ { "127.0.0.1", core::Value::makeDictionary({
            { "MPOAuthAuthenticationPreferredMethods", core::Value::makeArray({ "MPOAuthAuthenticationMethodOAuth" }) },
            { "MPOAuthAuthenticationMethodOAuth", core::Value::makeDictionary({
                { MPOAuthRequestTokenURLKey, base + "/0/oauth/request_token" },
                { MPOAuthUserAuthorizationURLKey, base + "/0/oauth/authorize" },
                { MPOAuthAccessTokenURLKey, base + "/0/oauth/access_token" } }) } }) } }),
        core::PropertyList::Format::XML));
    core::Bundle::setMainForTesting(core::Bundle::bundleWithPath(bundle));

    struct Consent : MPOAuthAuthenticationMethodOAuthDelegate {
        bool automaticallyRequestAuthenticationFromURL(const core::URL& url, const std::optional<core::URL>&) override
        {
            page = url.absoluteString();
            return true;
        }
        std::optional<std::string> oauthVerifierForCompletedUserAuthorization() override { return verifier; }
        std::string page;
        std::optional<std::string> verifier;
    };
    struct Reader : core::Object {
        std::vector<std::string> texts;
    };

    for (const bool throughThePage : { true, false }) {
        SCOPED_TRACE(throughThePage ? "the user's page" : "the control call");
        auto consent = std::make_shared<Consent>();
        auto api = MPOAuthAPI::initWithCredentials(
            { { kMPOAuthCredentialConsumerKey, server->consumerKey() }, { kMPOAuthCredentialConsumerSecret, server->consumerSecret() } },
            core::URL::parse(base + "/").value(), core::URL::parse(base + "/0/").value(), false);
        api->credentials()->setKeychainStore(std::make_shared<sec::MemoryKeychainStore>());
        std::dynamic_pointer_cast<MPOAuthAuthenticationMethodOAuth>(api->authenticationMethod())->setDelegate(consent);

        api->authenticate();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !consent->page.empty(); }, 20)) << server->errors();
        const std::string requestToken = api->credentials()->requestToken().value_or("");
        ASSERT_TRUE(consent->page.starts_with(base + "/0/oauth/authorize?oauth_token=" + requestToken)) << consent->page;
        if (throughThePage) {
            auto form = test::runCommand({ "curl", "-s", consent->page });
            EXPECT_NE(form.output.find("<form"), std::string::npos);
            auto answer = test::runCommand({ "curl", "-s", consent->page + "&email=demo%40example.com&password=demo" });
            const size_t at = answer.output.find("oauth_verifier=");
            ASSERT_NE(at, std::string::npos) << answer.output;
            consent->verifier = answer.output.substr(at + 15);
        } else {
            consent->verifier = server->authorize(requestToken);
        }
        api->authenticate();
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return api->isAuthenticated(); }, 20)) << server->errors();
        EXPECT_TRUE(api->credentials()->accessToken());
        EXPECT_FALSE(api->credentials()->requestToken());

        auto reader = std::make_shared<Reader>();
        MPOAuthAction action;
        action.withText = [](core::Object& target, const core::URL&, const std::string& text) {
            static_cast<Reader&>(target).texts.push_back(text);
        };
        api->performMethod("account/info", reader, action);
        ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !reader->texts.empty(); }, 20));
        EXPECT_NE(reader->texts.front().find("\"display_name\":\"Demo User\""), std::string::npos) << reader->texts.front();
    }
    for (const auto& request : server->requests())
        EXPECT_TRUE(request.verdict == "ok" || request.verdict == "not signed") << request.path << ": " << request.verdict;
}

TEST_F(CloudServerTest, TheHandScriptLinksAHomeToItsServer)
{
    test::ChildProcess script({ sourcePath("scripts/cloud-server"), "--home", home(), "--root", pathInHome("hand"),
        "--port", "0" });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return script.output().find("Ctrl-C") != std::string::npos; }, 20))
        << script.output() << script.errors();
    const std::string said = script.output();
    const size_t at = said.find("http://127.0.0.1:");
    ASSERT_NE(at, std::string::npos);
    const std::string base = said.substr(at, said.find(' ', at) - at);

    // What it wrote, read as the program reads its settings.
    auto written = core::UserDefaults::create(core::UserDefaults::standard()->path());
    EXPECT_EQ(written->stringForKey(VKCloudAPIBaseURL), base);
    EXPECT_EQ(written->stringForKey(VKCloudContentBaseURL), base);
    EXPECT_EQ(written->stringForKey("VKDropboxAccountUserName"), "demo@example.com");
    const core::Value saved = written->object(kDBDropboxSavedCredentialsKey);
    EXPECT_EQ(saved[kMPOAuthCredentialConsumerKey], core::Value(server->consumerKey()));

    // A session that starts from them is linked and reaches the account.
    auto defaults = core::UserDefaults::standard();
    for (const char* key : { VKCloudAPIBaseURL, VKCloudContentBaseURL, kDBDropboxSavedCredentialsKey })
        defaults->set(key, written->object(key));
    auto linked = DBSession::initWithConsumerKey(server->consumerKey(), server->consumerSecret());
    EXPECT_TRUE(linked->isLinked());
    auto handClient = DBRestClient::initWithSession(linked);
    handClient->setDelegate(recorder);
    std::filesystem::create_directories(pathInHome("hand/Put here"));
    EXPECT_EQ(call([&] { handClient->loadMetadata("/"); }), (Recorder::Events { "loadedMetadata /" }));
    ASSERT_EQ(recorder->metadata->contents()->size(), 1u);
    EXPECT_EQ(recorder->metadata->contents()->front()->path(), "/Put here");
    EXPECT_TRUE(server->requests().empty());
}

} // namespace
