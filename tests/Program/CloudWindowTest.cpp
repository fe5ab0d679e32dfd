// Linking the cloud account in the program's window under the tests' own
// Xvfb, against the fake cloud service (cloud_server.py) named by the base
// URL settings: the tablet's login sheet over the root list, typed into as
// a person would, and the account's folder after the link; then, on a home
// that starts linked, a file fetched behind its progress while the service
// holds it, its text, back, and a sync of a folder's files with its
// progress. What the display showed is kept in build/screens/cloud_window/.

#include "ProgramWindowTestCase.h"

#include "Platform/Core/Paths.h"
#include "Platform/Core/PropertyList.h"
#include "Support/DropboxSDK/FakeCloudServer.h"
#include "Support/XvfbDisplay.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

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
    click(*email);
    ASSERT_TRUE(waitForView("first-responder \"(name@example.com)\"")) << lastDump();
    type("demo@example.com");
    auto password = centreOf(snapshot(), "\"(Required)\"");
    ASSERT_TRUE(password) << lastDump();
    click(*password);
    ASSERT_TRUE(waitForView("first-responder \"(Required)\"")) << lastDump();
    type("demo");
    ASSERT_TRUE(waitForView("first-responder \"••••\"")) << lastDump();
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
    keep("cloud_window", "desktop-folder", true);

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

TEST_F(CloudWindowTest, ALinkedFolderOpensAFileBehindItsProgressAndSyncs)
{
    // The fake serves the folder "cloud" of this process's home; the
    // program's home starts linked to it.
    core::paths::setHome(home());
    test::FakeCloudServer server;
    ASSERT_TRUE(server.isRunning());
    std::string text;
    for (int line = 1; text.size() < (5 << 20); ++line)
        text += "Line " + std::to_string(line) + " of the minutes, as agreed.\n";
    makeFile("cloud/Docs/a.txt", text);
    makeFile("cloud/Docs/empty.txt", "");
    makeFile("cloud/Docs/notes.txt", "Bring the slides.\n");
    makeFolder("cloud/Docs/Sub");
    makeFile("cloud/notes.txt", "Top-level notes.\n");
    linkProgramHome(server);
    ASSERT_FALSE(HasFatalFailure());
    start();
    auto ok = waitForView("\"OK\"");
    ASSERT_TRUE(ok) << lastDump() << readUntil("\n\n");
    click(*ok);
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("AlertView") == std::string::npos; }));

    // "Dropbox" lists the account's root, "Docs" its folder. The root list
    // settles first (the first launch adds rows above it).
    auto row = waitForView(") \"Dropbox\"");
    ASSERT_TRUE(row) << lastDump();
    click(*row);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKFileResourceCell") != std::string::npos && dump.find(") \"Docs\"") != std::string::npos
            && dump.find(") \"notes\"") != std::string::npos;
    }, 20)) << lastDump();
    keep("cloud_window", "desktop-root", true);
    auto docs = centreOf(lastDump(), "VKFileResourceCell (0, 44, 768, 68) \"Docs\"");
    ASSERT_TRUE(docs) << lastDump();
    click(*docs);
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKFileResourceCell (0, 44, 768, 68) \"a\"") != std::string::npos
            && dump.find(") \"Sub\"") != std::string::npos;
    }, 20)) << lastDump();
    auto file = centreOf(snapshot(), "VKFileResourceCell (0, 44, 768, 68) \"a\"");
    ASSERT_TRUE(file) << lastDump();

    // The file, held by the service after 2 MiB: the fetch's placeholder
    // with its size and bar, then the text once it is released.
    server.addFault(R"({"endpoint": "files", "method": "GET", "path": "/Docs/a.txt", "stall": "fetch", "stall_after": 2097152})");
    click(*file);
    // The bar stands where the held bytes put it (2 of 5 MiB).
    auto progress = [](const std::string& dump) {
        const size_t bar = dump.find("ProgressView");
        const size_t quote = bar == std::string::npos ? bar : dump.find('"', bar);
        return quote == std::string::npos ? -1.0 : std::atof(dump.c_str() + quote + 1);
    };
    // (The folder list leaves the window when the push's time is up.)
    ASSERT_TRUE(waitForDump([&](const std::string& dump) {
        return dump.find("\"Loading 5 MB\"") != std::string::npos && progress(dump) > 0.3
            && dump.find("VKFolderTableView") == std::string::npos;
    }, 20)) << lastDump();
    EXPECT_LT(progress(lastDump()), 0.5) << lastDump();
    keep("cloud_window", "desktop-loading", true);
    server.release("fetch");
    ASSERT_TRUE(waitForDump([](const std::string& dump) {
        return dump.find("VKTextView") != std::string::npos && dump.find("\"Loading 5 MB\"") == std::string::npos
            && dump.find(" of 20") != std::string::npos;
    }, 30)) << lastDump();
    keep("cloud_window", "desktop-text", true);

    // Back: a click in the text brings the bars (the first one may only
    // close the paging hint), then the bar's Back.
    bool listed = false;
    for (int attempt = 0; attempt < 4 && !listed; ++attempt) {
        click(384, 700);
        if (waitForDump([](const std::string& dump) { return dump.find("VKNavigationBar (0, 0, 768, 44)") != std::string::npos; }, 2)) {
            click(30, 42);
            listed = waitForView("VKFileResourceCell (0, 44, 768, 68) \"a\"").has_value();
        }
    }
    ASSERT_TRUE(waitForView("VKFileResourceCell (0, 44, 768, 68) \"a\"")) << lastDump();

    // Editing with nothing marked: Sync asks for the folder's three files,
    // and the sync shows its progress until the service answers.
    auto edit = centreOf(snapshot(), "BarItemButton (723, 7, 40, 30)");
    ASSERT_TRUE(edit) << lastDump();
    click(*edit);
    auto sync = waitForView("VKActionButton (491.333, 0, 64, 44) \"Sync\"");
    ASSERT_TRUE(sync) << lastDump();
    server.addFault(R"({"endpoint": "files", "method": "GET", "always": true, "stall": "sync"})");
    click(*sync);
    auto confirm = waitForView("\"Sync (5 MB)\"");
    ASSERT_TRUE(confirm) << lastDump();
    EXPECT_NE(lastDump().find("Confirm sync of 3 files"), std::string::npos) << lastDump();
    keep("cloud_window", "desktop-sync-sheet", true);
    click(*confirm);
    ASSERT_TRUE(waitForView("\"Syncing...\"")) << lastDump();
    keep("cloud_window", "desktop-syncing", true);
    server.release();
    ASSERT_TRUE(waitForDump([](const std::string& dump) { return dump.find("\"Syncing...\"") == std::string::npos; }, 30))
        << lastDump();
    size_t fetched = 0;
    for (const auto& request : server.requests())
        fetched += request.method == "GET" && request.pathOnly().find("/files/") != std::string::npos;
    EXPECT_GE(fetched, 2u) << "the fetch of a.txt and the sync's files";

    std::string said;
    ASSERT_TRUE(test::XvfbDisplay::requestClose(window, &said)) << said;
    EXPECT_EQ(exitStatus(), 0) << readUntil("\n\n");
}

} // namespace
