// The REST client against the fake cloud service, which checks every
// signature with code of its own: each endpoint's method, scheme, host and
// path, the decoded answers, the callbacks a delegate prefers, failures and
// the order in which the session hears of a refused token.

#include "DropboxSDK/DBDefines.h"
#include "DropboxSDK/DBRequest.h"
#include "DropboxSDK/MPOAuth/MPOAuthCredentialConcreteStore.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/URLError.h"

#include "RestClientTestCase.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

using test::Recorder;
using Callback = DBRestClientCallback;

class DBRestClientTest : public test::RestClientTestCase {
protected:
    static std::string readAll(const std::string& path) { return readFile(path); }
};

TEST_F(DBRestClientTest, EveryEndpointIsSignedAndGoesWhereItBelongs)
{
    cloudFile("/Photos/a.txt", "abc");
    cloudFile("/Photos/b.jpg", "not really a picture");

    // Sign-up and login are signed by the consumer alone.
    auto fresh = DBSession::initWithConsumerKey(server->consumerKey(), server->consumerSecret());
    fresh->unlink();
    auto newcomer = DBRestClient::initWithSession(fresh);
    newcomer->setDelegate(recorder);
    EXPECT_EQ(call([&] { newcomer->createAccount("new@example.com", "pw", "New", "Person"); }),
        (Recorder::Events { "createdAccount" }));
    EXPECT_EQ(call([&] { newcomer->loginWithEmail("new@example.com", "pw"); }), (Recorder::Events { "didLogin" }));
    EXPECT_TRUE(fresh->isLinked());

    call([&] { client->loadAccountInfo(); });
    call([&] { client->loadMetadata("/Photos"); });
    call([&] { client->loadFile("/Photos/a.txt", pathInHome("a.txt")); });
    call([&] { client->loadThumbnail("/Photos/b.jpg", "large", pathInHome("b.jpg")); });
    call([&] { client->copyFrom("/Photos/a.txt", "/Photos/c.txt"); });
    call([&] { client->moveFrom("/Photos/c.txt", "/Photos/d.txt"); });
    call([&] { client->createFolder("/Albums"); });
    call([&] { client->deletePath("/Photos/d.txt"); });

    struct Expected {
        const char* method;
        const char* scheme;
        const char* host;
        const char* path;
    };
    const std::vector<Expected> expected {
        { "POST", "https", kDBDropboxAPIHost, "/0/account" },
        { "GET", "https", kDBDropboxAPIHost, "/0/token" },
        { "GET", "http", kDBDropboxAPIHost, "/0/account/info" },
        { "GET", "http", kDBDropboxAPIHost, "/0/metadata/dropbox/Photos" },
        { "GET", "https", kDBDropboxAPIContentHost, "/0/files/dropbox/Photos/a.txt" },
        { "GET", "http", kDBDropboxAPIContentHost, "/0/thumbnails/dropbox/Photos/b.jpg" },
        { "POST", "http", kDBDropboxAPIHost, "/0/fileops/copy" },
        { "POST", "http", kDBDropboxAPIHost, "/0/fileops/move" },
        { "POST", "http", kDBDropboxAPIHost, "/0/fileops/create_folder" },
        { "POST", "http", kDBDropboxAPIHost, "/0/fileops/delete" },
    };
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(requests[i].method, expected[i].method);
        EXPECT_EQ(requests[i].scheme, expected[i].scheme);
        EXPECT_EQ(requests[i].host, expected[i].host);
        EXPECT_EQ(requests[i].pathOnly(), expected[i].path);
        EXPECT_EQ(requests[i].verdict, "ok");
        EXPECT_EQ(requests[i].status, 200);
        // Only sign-up and login go without a token (their key is "cs&").
        EXPECT_EQ(requests[i].parameter("oauth_token").has_value(), i >= 2);
        EXPECT_EQ(requests[i].parameter("oauth_signature_method"), "HMAC-SHA1");
    }
    // GETs carry their parameters in the query, POSTs in a form body.
    EXPECT_EQ(requests[0].parameter("first_name"), "New");
    EXPECT_EQ(requests[0].path, "/0/account");
    EXPECT_EQ(requests[5].parameter("size"), "large");
    EXPECT_NE(requests[5].path.find("size=large"), std::string::npos);
    EXPECT_EQ(requests[6].parameter("from_path"), "/Photos/a.txt");
    EXPECT_EQ(requests[6].parameter("root"), "dropbox");
}

TEST_F(DBRestClientTest, BaseURLSettingsReplaceSchemeHostAndPort)
{
    cloudFile("/a.txt", "abc");
    auto defaults = core::UserDefaults::standard();
    defaults->set(VKCloudAPIBaseURL, server->baseURL());
    defaults->set(VKCloudContentBaseURL, server->baseURL() + "/ignored/path");
    EXPECT_EQ(call([&] { client->loadMetadata("/a.txt"); }), (Recorder::Events { "loadedMetadata /a.txt" }));
    EXPECT_EQ(call([&] { client->loadFile("/a.txt", pathInHome("a.txt")); }), (Recorder::Events { "loadedFile " + pathInHome("a.txt") }));
    for (const auto& request : server->requests()) {
        EXPECT_EQ(request.scheme, "http");
        EXPECT_EQ(request.host, "127.0.0.1:" + std::to_string(server->port()));
        EXPECT_EQ(request.verdict, "ok");
    }
    EXPECT_EQ(server->requests().back().pathOnly(), "/0/files/dropbox/a.txt");
}

TEST_F(DBRestClientTest, PathsAreEscapedAndComeBackWhole)
{
    EXPECT_EQ(DBRestClient::escapePath("/Photos/a b#?&;+@~%=:,!$'()*[]\"é.-_"),
        "/Photos/a%20b%23%3F%26%3B%2B%40%7E%25%3D%3A%2C%21%24%27%28%29%2A%5B%5D%22%C3%A9.-_");

    const std::string odd = "/Odd folder/a b#?&;+@~%é.txt";
    cloudFile(odd, "x");
    EXPECT_EQ(call([&] { client->loadMetadata(odd); }), (Recorder::Events { "loadedMetadata " + odd }));
    EXPECT_EQ(lastRequest().pathOnly(), "/0/metadata/dropbox" + DBRestClient::escapePath(odd));
    EXPECT_EQ(call([&] { client->loadMetadata("/"); }), (Recorder::Events { "loadedMetadata /" }));
    EXPECT_EQ(lastRequest().pathOnly(), "/0/metadata/dropbox/");
    ASSERT_TRUE(recorder->metadata->contents());
    ASSERT_EQ(recorder->metadata->contents()->size(), 1u);
    EXPECT_EQ(recorder->metadata->contents()->front()->path(), "/Odd folder");
    // The service keeps names as stored and finds them in any case.
    EXPECT_EQ(call([&] { client->loadMetadata("/ODD FOLDER"); }), (Recorder::Events { "loadedMetadata /Odd folder" }));
}

TEST_F(DBRestClientTest, LoginStoresTheTokenFirstAndAWrongPasswordTellsOnlyTheForm)
{
    session->unlink();
    recorder->onEvent = [&] {
        if (recorder->events.back() == "didLogin") {
            EXPECT_TRUE(session->isLinked());
            EXPECT_TRUE(session->savedCredentials().isDictionary());
        }
    };
    EXPECT_EQ(call([&] { client->loginWithEmail("DEMO@example.com", "demo"); }), (Recorder::Events { "didLogin" }));
    const std::string token = session->credentialStore()->accessToken().value_or("");
    EXPECT_EQ(session->savedCredentials()[kMPOAuthCredentialAccessToken], core::Value(token));

    EXPECT_EQ(call([&] { client->loginWithEmail("demo@example.com", "wrong"); }), (Recorder::Events { "loginFailed 401" }));
    EXPECT_EQ(recorder->errorInfo("error"), "Invalid email or password");
    EXPECT_EQ(session->credentialStore()->accessToken(), token);

    // An answer without a token is no login.
    server->addFault(R"({"endpoint":"token","status":200,"body":{"secret":"s"}})");
    EXPECT_EQ(call([&] { client->loginWithEmail("demo@example.com", "demo"); }), (Recorder::Events { "loginFailed -1017" }));
    EXPECT_EQ(recorder->lastError.domain(), net::URLErrorDomain);
    EXPECT_EQ(session->credentialStore()->accessToken(), token);

    // Sign-up: a taken address is refused with the service's reasons.
    EXPECT_EQ(call([&] { client->createAccount("demo@example.com", "pw", "A", "B"); }),
        (Recorder::Events { "createAccountFailed 400" }));
    EXPECT_EQ(recorder->lastError.userInfo().at("error")["email"], core::Value("That email is already taken"));
    EXPECT_EQ(recorder->errorInfo("email"), "demo@example.com");
    EXPECT_EQ(recorder->errorInfo("password"), "<none>");
}

TEST_F(DBRestClientTest, MetadataIsParsedOffTheMainThreadAndAskedWithTheHash)
{
    cloudFile("/Photos/a.txt", "abc");
    cloudFile("/Photos/b.txt", "defg");
    recorder->onEvent = [&] { EXPECT_TRUE(client->requests().empty()); };
    EXPECT_EQ(call([&] { client->loadMetadata("/Photos"); }), (Recorder::Events { "loadedMetadata /Photos" }));
    EXPECT_TRUE(recorder->onMainThread);
    EXPECT_FALSE(lastRequest().parameter("hash"));
    auto listing = recorder->metadata;
    ASSERT_TRUE(listing->isDirectory() && listing->contents());
    ASSERT_EQ(listing->contents()->size(), 2u);
    EXPECT_EQ(listing->contents()->at(1)->totalBytes(), 4);
    EXPECT_EQ(listing->contents()->at(1)->humanReadableSize(), "4 bytes");
    EXPECT_EQ(listing->contents()->at(1)->icon(), "page_white_text");
    const std::string hash = listing->folderHash().value_or("");
    ASSERT_EQ(hash.size(), 32u);

    // The same hash: unchanged, and nothing else.
    recorder->onEvent = nullptr;
    EXPECT_EQ(call([&] { client->loadMetadata("/Photos", hash); }), (Recorder::Events { "unchanged /Photos" }));
    EXPECT_EQ(lastRequest().parameter("hash"), hash);
    EXPECT_EQ(lastRequest().status, 304);
    core::RunLoop::main().runUntilIdle();
    EXPECT_EQ(recorder->events.size(), 1u);

    // A file changed under the root brings a new revision and a new hash.
    const int64_t revision = listing->contents()->at(0)->revision();
    cloudFile("/Photos/a.txt", "abcd");
    EXPECT_EQ(call([&] { client->loadMetadata("/Photos", hash); }), (Recorder::Events { "loadedMetadata /Photos" }));
    EXPECT_NE(recorder->metadata->folderHash(), hash);
    EXPECT_GT(recorder->metadata->contents()->at(0)->revision(), revision);

    // A missing path: the service's reason with the call's context.
    EXPECT_EQ(call([&] { client->loadMetadata("/Nowhere"); }), (Recorder::Events { "loadMetadataFailed 404" }));
    EXPECT_EQ(recorder->lastError.domain(), DBErrorDomain);
    EXPECT_EQ(recorder->errorInfo("root"), "dropbox");
    EXPECT_EQ(recorder->errorInfo("path"), "/Nowhere");
    EXPECT_EQ(recorder->errorInfo("error"), "Path '/Nowhere' not found");

    // A 200 answer that is not an entry fails.
    server->addFault(R"({"endpoint":"metadata","status":200,"body":[1,2]})");
    EXPECT_EQ(call([&] { client->loadMetadata("/Photos"); }), (Recorder::Events { "loadMetadataFailed -1017" }));
    EXPECT_EQ(recorder->errorInfo("path"), "/Photos");
}

TEST_F(DBRestClientTest, ARefusedTokenReachesTheSessionBeforeTheCall)
{
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
    EXPECT_EQ(recorder->accountInfo->displayName(), "Demo User");
    EXPECT_EQ(recorder->accountInfo->userId(), "12345");
    EXPECT_EQ(recorder->accountInfo->quota()->totalBytes(), int64_t(1) << 40);

    server->revoke(session->credentialStore()->accessToken().value_or(""));
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }, 2),
        (Recorder::Events { "session authorization failure", "loadAccountInfoFailed 401" }));
    EXPECT_EQ(recorder->errorInfo("error"), "Token revoked");
    EXPECT_EQ(call([&] { client->createFolder("/X"); }, 2),
        (Recorder::Events { "session authorization failure", "createFolderFailed 401" }));

    // Other failures never reach the session; a 503 carries the service's words.
    server->linkSession();
    client = DBRestClient::initWithSession(DBSession::sharedSession());
    client->setDelegate(recorder);
    server->addFault(R"({"endpoint":"account/info","status":503,"headers":{"Retry-After":"7"},"body":{"error":"Try later"}})");
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadAccountInfoFailed 503" }));
    EXPECT_EQ(recorder->errorInfo("error"), "Try later");
    server->addFault(R"({"endpoint":"account/info","status":200,"body":"not json"})");
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadAccountInfoFailed -1017" }));

    // The rate limit answers 503 with a wait.
    server->setRateLimit(1, 60);
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadAccountInfoFailed 503" }));
    EXPECT_EQ(recorder->errorInfo("error"), "Rate limit exceeded");
}

TEST_F(DBRestClientTest, FileLoadsReplaceTheirDestinationAndTellTheFirstCallbackAnswered)
{
    const std::string content(300000, 'x');
    cloudFile("/Docs/big.txt", content);
    const std::string destination = makeFile("Downloads/big.txt", "old");

    EXPECT_EQ(call([&] { client->loadFile("/Docs/big.txt", destination); }), (Recorder::Events { "loadedFile " + destination }));
    EXPECT_EQ(readAll(destination), content);
    ASSERT_FALSE(recorder->progresses.empty());
    EXPECT_EQ(recorder->progresses.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(recorder->progresses.begin(), recorder->progresses.end()));
    EXPECT_TRUE(client->loadRequests().empty());
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(lastRequest().scheme, "https");

    // Only the first of the three that is answered.
    recorder->answered.erase(Callback::LoadedFile);
    EXPECT_EQ(call([&] { client->loadFile("/Docs/big.txt", destination); }),
        (Recorder::Events { "loadedFile " + destination + " text/plain" }));
    recorder->answered.erase(Callback::LoadedFileContentType);
    recorder->events.clear();
    client->loadFile("/Docs/big.txt", destination);
    ASSERT_TRUE(waitForEvents(1));
    client->loadMetadata("/Docs/big.txt");
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(recorder->events[0],
        "loadedFile " + destination + " text/plain \"" + std::to_string(recorder->metadata->revision()) + "\"");
    recorder->answered.insert(Callback::LoadedFile);

    // A second load of one path replaces the first, which ends silently
    // and takes its partial file with it.
    server->addFault(R"({"endpoint":"files","stall":"one","stall_after":1000})");
    recorder->events.clear();
    client->loadFile("/Docs/big.txt", destination);
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !temporaryFiles().empty(); }, 20));
    const std::string other = pathInHome("other.txt");
    client->loadFile("/Docs/big.txt", other);
    EXPECT_EQ(client->loadRequests().size(), 1u);
    EXPECT_EQ(client->loadRequests().at("/Docs/big.txt")->resultFilename(), other);
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(recorder->events, (Recorder::Events { "loadedFile " + other }));
    server->release("one");
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(temporaryFiles().empty());
    EXPECT_EQ(recorder->events.size(), 1u);
    EXPECT_EQ(readAll(other), content);
}

TEST_F(DBRestClientTest, ARequestSentAgainAfterAKeptAliveConnectionClosedIsSignedAnew)
{
    // The first call leaves a kept-alive connection; the fault closes it
    // under the next request, which then goes again on a fresh one.
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
    server->addFault(R"({"endpoint":"account/info","close_before_head":true})");
    EXPECT_EQ(call([&] { client->loadAccountInfo(); }), (Recorder::Events { "loadedAccountInfo" }));
    server->addFault(R"({"endpoint":"metadata","close_before_head":true})");
    EXPECT_EQ(call([&] { client->loadMetadata("/", std::nullopt); }), (Recorder::Events { "loadedMetadata /" }));

    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 5u);
    for (size_t first : { 1, 3 }) {
        const auto& closed = requests[first];
        const auto& again = requests[first + 1];
        EXPECT_EQ(closed.pathOnly(), again.pathOnly());
        EXPECT_NE(closed.parameter("oauth_nonce"), again.parameter("oauth_nonce"));
        EXPECT_EQ(again.verdict, "ok");
        EXPECT_EQ(again.status, 200);
    }
}

TEST_F(DBRestClientTest, FailedTransfersLeaveTheDestinationAlone)
{
    cloudFile("/a.txt", std::string(100000, 'a'));
    const std::string destination = makeFile("a.txt", "keep me");

    // Cut short under its announced length.
    server->addFault(R"({"endpoint":"files","truncate_after":5000})");
    EXPECT_EQ(call([&] { client->loadFile("/a.txt", destination); }), (Recorder::Events { "loadFileFailed -1005" }));
    EXPECT_EQ(recorder->lastError.domain(), net::URLErrorDomain);
    EXPECT_EQ(readAll(destination), "keep me");
    EXPECT_TRUE(temporaryFiles().empty());

    // A stall past the time-out.
    DBRestClient::setTimeoutIntervalForTesting(1);
    server->addFault(R"({"endpoint":"files","stall":"never"})");
    EXPECT_EQ(call([&] { client->loadFile("/a.txt", destination); }), (Recorder::Events { "loadFileFailed -1001" }));
    EXPECT_EQ(readAll(destination), "keep me");
    server->release("never");

    // Missing on the service.
    EXPECT_EQ(call([&] { client->loadFile("/b.txt", destination); }), (Recorder::Events { "loadFileFailed 404" }));
    EXPECT_EQ(recorder->errorInfo("destinationPath"), destination);
    EXPECT_EQ(readAll(destination), "keep me");
}

TEST_F(DBRestClientTest, ThumbnailsAndFileOperations)
{
    cloudFile("/Photos/p.jpg", "jpeg");
    cloudFile("/Photos/a.txt", "abc");
    cloudFile("/Photos/Sub/s.txt", "s");

    for (const char* size : { "large", "medium" }) {
        const std::string destination = pathInHome(std::string(size) + ".jpg");
        EXPECT_EQ(call([&] { client->loadThumbnail("/Photos/p.jpg", std::string(size), destination); }),
            (Recorder::Events { "loadedThumbnail " + destination }));
        EXPECT_TRUE(readAll(destination).starts_with("\xFF\xD8\xFF"));
        EXPECT_EQ(lastRequest().parameter("size"), size);
    }
    EXPECT_EQ(call([&] { client->loadThumbnail("/Photos/a.txt", std::nullopt, pathInHome("t.jpg")); }),
        (Recorder::Events { "loadThumbnailFailed 415" }));
    EXPECT_FALSE(lastRequest().parameter("size"));

    EXPECT_EQ(call([&] { client->copyFrom("/Photos/a.txt", "/Photos/b.txt"); }), (Recorder::Events { "copied /Photos/a.txt /Photos/b.txt" }));
    EXPECT_EQ(readAll(server->localPath("/Photos/b.txt")), "abc");
    EXPECT_EQ(call([&] { client->copyFrom("/Photos/a.txt", "/photos/B.TXT"); }), (Recorder::Events { "copyFailed 403" }));
    EXPECT_EQ(recorder->errorInfo("from_path"), "/Photos/a.txt");
    EXPECT_EQ(recorder->errorInfo("to_path"), "/photos/B.TXT");
    EXPECT_EQ(call([&] { client->copyFrom("/Photos", "/Photos/Sub/Deeper"); }), (Recorder::Events { "copyFailed 403" }));

    EXPECT_EQ(call([&] { client->moveFrom("/Photos/b.txt", "/Photos/Sub/b.txt"); }), (Recorder::Events { "moved /Photos/b.txt /Photos/Sub/b.txt" }));
    EXPECT_TRUE(std::filesystem::exists(server->localPath("/Photos/Sub/b.txt")));
    EXPECT_EQ(call([&] { client->moveFrom("/Photos/gone.txt", "/x.txt"); }), (Recorder::Events { "moveFailed 404" }));
    EXPECT_EQ(recorder->errorInfo("from_path"), "/Photos/gone.txt");
    // A new case of the same name is a rename.
    EXPECT_EQ(call([&] { client->moveFrom("/Photos/a.txt", "/Photos/A.txt"); }), (Recorder::Events { "moved /Photos/a.txt /Photos/A.txt" }));
    EXPECT_TRUE(std::filesystem::exists(server->localPath("/Photos/A.txt")));

    EXPECT_EQ(call([&] { client->createFolder("/Photos/New"); }), (Recorder::Events { "createdFolder /Photos/New" }));
    EXPECT_TRUE(recorder->metadata->isDirectory());
    EXPECT_TRUE(std::filesystem::is_directory(server->localPath("/Photos/New")));
    EXPECT_EQ(call([&] { client->createFolder("/photos/new"); }), (Recorder::Events { "createFolderFailed 403" }));
    EXPECT_EQ(call([&] { client->createFolder("/No/Parent"); }), (Recorder::Events { "createFolderFailed 404" }));
    EXPECT_EQ(recorder->errorInfo("path"), "/No/Parent");

    EXPECT_EQ(call([&] { client->deletePath("/Photos/Sub"); }), (Recorder::Events { "deleted /Photos/Sub" }));
    EXPECT_FALSE(std::filesystem::exists(server->localPath("/Photos/Sub")));
    EXPECT_EQ(call([&] { client->deletePath("/Photos/Sub"); }), (Recorder::Events { "deleteFailed 404" }));
    EXPECT_EQ(recorder->errorInfo("path"), "/Photos/Sub");
    EXPECT_TRUE(client->requests().empty());
}

TEST_F(DBRestClientTest, LettingTheClientGoEndsEverythingSilently)
{
    cloudFile("/big.bin", std::string(200000, 'b'));
    for (int i = 0; i < 4000; ++i)
        cloudFile("/Many/entry-" + std::to_string(i) + ".txt");
    server->addFault(R"({"endpoint":"files","stall":"held","stall_after":1000})");
    server->addFault(R"({"endpoint":"account/info","stall":"held"})");

    client->loadFile("/big.bin", pathInHome("big.bin"));
    client->loadAccountInfo();
    client->loadMetadata("/Many");
    EXPECT_EQ(client->requests().size(), 2u);
    EXPECT_EQ(client->loadRequests().size(), 1u);
    // The listing arrives and goes to its parser; the file load has begun.
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return client->requests().size() == 1 && !temporaryFiles().empty(); }, 30));

    client.reset();
    EXPECT_TRUE(temporaryFiles().empty());
    server->release("held");
    EXPECT_TRUE(core::Thread::waitForAll(20));
    core::RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder->events.empty()) << recorder->events.front();
    EXPECT_FALSE(std::filesystem::exists(pathInHome("big.bin")));
}

} // namespace
