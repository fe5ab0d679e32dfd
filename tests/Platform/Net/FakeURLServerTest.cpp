#include "Platform/Core/RunLoop.h"
#include "Platform/Net/FakeURLLoad.h"
#include "Platform/Net/FakeURLServer.h"
#include "Platform/Net/URLConnection.h"
#include "Platform/Net/URLError.h"

#include "Platform/Net/LoadRecorder.h"
#include "Support/TestCase.h"

using core::URL;
using core::URLRequest;
using net::FakeURLLoad;
using net::FakeURLServer;
using net::URLConnection;
using test::LoadRecorder;

namespace {

using Events = std::vector<std::string>;

class FakeURLServerTest : public test::TestCase {
protected:
    static URLRequest requestFor(const std::string& url) { return URLRequest(URL::parse(url).value()); }

    static void pump() { core::RunLoop::main().runUntilIdle(); }
};

TEST_F(FakeURLServerTest, TheTestSeesTheRequestAndAnswersThroughTheQueue)
{
    auto server = FakeURLServer::install("http://cloud.test/");
    auto other = FakeURLServer::install("http://cloud.test/files/");

    URLRequest upload = requestFor("http://cloud.test/files/put?x=1");
    upload.setMethod("POST");
    upload.setHeader("Authorization", "OAuth x");
    upload.setBodyFilePath(makeFile("body.txt", "file body"));
    auto recorder = std::make_shared<LoadRecorder>();
    auto connection = URLConnection::create(upload, recorder);

    // The longest prefix took it.
    EXPECT_TRUE(server->loads().empty());
    auto load = other->lastLoad();
    ASSERT_TRUE(load);
    EXPECT_EQ(load->request().method(), "POST");
    EXPECT_EQ(load->request().header("authorization"), "OAuth x");
    EXPECT_EQ(load->requestBody(), "file body");

    // Nothing is delivered inside the calls, all of it on the next pass.
    load->respond(201, { { "Content-Type", "application/json" } });
    load->send("{\"a\":");
    load->send("1}");
    load->finish();
    load->send("ignored after the end");
    EXPECT_TRUE(recorder->events.empty());
    pump();
    EXPECT_EQ(recorder->events, (Events { "response 201", "data", "finish" }));
    EXPECT_EQ(recorder->body, "{\"a\":1}");
    EXPECT_EQ(recorder->response->url().absoluteString(), "http://cloud.test/files/put?x=1");
    EXPECT_EQ(recorder->response->mimeType(), "application/json");
    EXPECT_TRUE(connection->isFinished());

    // A failure carries the URL error.
    auto failing = std::make_shared<LoadRecorder>();
    URLConnection::create(requestFor("http://cloud.test/meta"), failing);
    server->lastLoad()->fail(net::URLError::NetworkConnectionLost);
    pump();
    EXPECT_EQ(failing->events, (Events { "fail -1005" }));
    EXPECT_EQ(failing->error.userInfo().at(net::URLError::FailingURLStringKey).string(), "http://cloud.test/meta");

    // A handler answers as loads arrive.
    server->setHandler([](FakeURLLoad& arriving) {
        arriving.respond(404);
        arriving.finish();
    });
    auto handled = std::make_shared<LoadRecorder>();
    URLConnection::create(requestFor("http://cloud.test/missing"), handled);
    pump();
    EXPECT_EQ(handled->events, (Events { "response 404", "finish" }));
    EXPECT_EQ(handled->response->mimeType(), "application/octet-stream");
}

TEST_F(FakeURLServerTest, CancellingDropsWhatIsAlreadyQueued)
{
    auto server = FakeURLServer::install("http://cloud.test/");
    auto recorder = std::make_shared<LoadRecorder>();
    recorder->hook = [](URLConnection& connection, const std::string& event) {
        if (event.starts_with("response"))
            connection.cancel();
    };
    std::weak_ptr<URLConnection> watch = URLConnection::create(requestFor("http://cloud.test/a"), recorder);
    auto load = server->lastLoad();
    load->respond(200);
    load->send("body");
    load->finish();
    pump();
    EXPECT_EQ(recorder->events, (Events { "response 200" }));
    EXPECT_TRUE(watch.expired());

    // Uninstalling cancels the loads still waiting; later answers go nowhere.
    auto waiting = std::make_shared<LoadRecorder>();
    auto connection = URLConnection::create(requestFor("http://cloud.test/b"), waiting);
    auto pending = server->lastLoad();
    server->uninstall();
    EXPECT_TRUE(connection->isCancelled());
    EXPECT_TRUE(pending->isCancelled());
    pending->respond(200);
    pump();
    EXPECT_TRUE(waiting->events.empty());
}

} // namespace
