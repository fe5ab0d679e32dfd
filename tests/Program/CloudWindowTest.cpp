// Linking the cloud account in the program's window under the tests' own
// Xvfb, against the fake cloud service (cloud_server.py) named by the base
// URL settings: the tablet's login sheet over the root list, typed into as
// a person would, and the account's folder after the link. What the
// display showed is kept in build/screens/cloud_window/.

#include "ProgramWindowTestCase.h"

#include "Platform/Core/Paths.h"
#include "Platform/Core/PropertyList.h"
#include "Support/DropboxSDK/FakeCloudServer.h"
#include "Support/XvfbDisplay.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

class CloudWindowTest : public test::ProgramWindowTestCase {
protected:
    // The program's settings as the cloud-server script writes them: the
    // fake's base URLs and the saved credentials of a fresh token, so that
    // the program starts linked.
    void linkProgramHome(const test::FakeCloudServer& server)
    {
        const auto info = core::PropertyList::readFile(sourcePath("resources/Info.plist"));
        const std::string identifier = info["CFBundleIdentifier"].string();
        auto [token, secret] = server.issueToken();
        core::Value::Dictionary credentials {
            { "kMPOAuthCredentialConsumerKey", core::Value(server.consumerKey()) },
            { "kMPOAuthCredentialAccessToken", core::Value(token) },
            { "kMPOAuthCredentialAccessTokenSecret", core::Value(secret) },
        };
        core::Value::Dictionary settings {
            { "VKCloudAPIBaseURL", core::Value(server.baseURL()) },
            { "VKCloudContentBaseURL", core::Value(server.baseURL()) },
            { "kDBDropboxSavedCredentialsKey", core::Value(std::move(credentials)) },
        };
        makeFolder("home/Library/Preferences");
        ASSERT_TRUE(core::PropertyList::writeFile(pathInHome("home/Library/Preferences/" + identifier + ".plist"),
            core::Value(std::move(settings)), core::PropertyList::Format::Binary));
    }
};

TEST_F(CloudWindowTest, TheLoginSheetOverTheRootListLinksAndShowsTheFolder)
{
    // The fake serves the folder "cloud" of this process's home.
    core::paths::setHome(home());
    test::FakeCloudServer server;
    ASSERT_TRUE(server.isRunning());
    makeFolder("cloud/Holiday Photos");
    makeFile("cloud/Minutes.txt", "Agreed.\n");
    start({ "-VKCloudAPIBaseURL", server.baseURL(), "-VKCloudContentBaseURL", server.baseURL() });
    auto ok = waitForView("\"OK\"");
    ASSERT_TRUE(ok) << lastDump() << readUntil("\n\n");
    click(*ok);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }));

    // The service's row: the login form as a sheet over the list.
    auto row = waitForView(") \"Dropbox\"");
    ASSERT_TRUE(row) << lastDump();
    click(*row);
    auto email = waitForView("\"(name@example.com)\"");
    ASSERT_TRUE(email) << lastDump();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    click(*email);
    ASSERT_TRUE(waitForView("first-responder \"(name@example.com)\"")) << lastDump();
    type("demo@example.com");
    auto password = centreOf(snapshot(), "\"(Required)\"");
    ASSERT_TRUE(password) << lastDump();
    click(*password);
    ASSERT_TRUE(waitForView("first-responder \"(Required)\"")) << lastDump();
    type("demo");
    ASSERT_TRUE(waitForView("first-responder \"••••\"")) << lastDump();
    // Past the moment the last key shows as itself.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    keep("cloud_window", "desktop-typed", true);
    EXPECT_EQ(lastDump().find("\"demo\""), std::string::npos) << "the password shows as bullets";
    EXPECT_NE(lastDump().find("\"demo@example.com\""), std::string::npos) << lastDump();

    // Return links: one token asked for, the sheet gone, the account's
    // folder on top of the root list.
    key("Return");
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("Link Account") == std::string::npos && dump.find("VKFolderTableView") != std::string::npos
            && dump.find("no-interaction \"Dropbox\"") != std::string::npos && dump.find("\"Tandry\"") != std::string::npos;
    }, 20)) << lastDump();
    auto requests = server.requests();
    std::string asked;
    for (auto& request : requests)
        asked += request.method + " " + request.pathOnly() + "\n";
    EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                  [](const auto& request) { return request.pathOnly() == "/0/token"; }),
        1) << asked;
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    keep("cloud_window", "desktop-folder", true);

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
