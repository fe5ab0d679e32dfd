// "Remote Access" and "Authentication" against the running server: what
// the pages say, and what curl meets after a person changed them.

#include "SettingsTestCase.h"

#include "App/Settings/VKRemoteAccessSettingsController.h"
#include "App/Settings/VKRemoteAuthSettingsController.h"
#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Shell/VKApplication.h"
#include "Shell/VKKeychain.h"
#include "HTTP/HTTPServer.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Security/MemoryKeychainStore.h"
#include "Platform/UI/AlertView.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Switch.h"
#include "Platform/UI/TextField.h"
#include "Support/ChildProcess.h"
#include "Support/FakeReachability.h"
#include "Support/HeldPorts.h"
#include "Support/RawClient.h"

#include <fmt/format.h>

namespace {

// Sends a HEAD on a connection kept open and answers the status line.
std::string head(test::RawClient& client, const std::string& path)
{
    size_t before = client.occurrences("\r\n\r\n");
    client.send("HEAD " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string& received = client.readUntil("\r\n\r\n", before + 1);
    size_t start = 0;
    for (size_t i = 0; i < before; ++i)
        start = received.find("\r\n\r\n", start) + 4;
    return received.substr(start, received.find("\r\n", start) - start);
}

class VKRemoteAccessSettingsControllerTest : public test::SettingsTestCase {
protected:
    void openRemoteAccess()
    {
        openSettings(VKSettingsController::RemoteAccessGroup);
        ASSERT_TRUE(dynamic_cast<VKRemoteAccessSettingsController*>(&topPage()));
    }
    VKRemoteAccessSettingsController& page() { return dynamic_cast<VKRemoteAccessSettingsController&>(topPage()); }
    std::string addressFooter() const
    {
        return fmt::format("Connect via URL:\nhttp://127.0.0.1:{0}\n\nor via Bonjour:\nhttp://Tandry-Test.local:{0}", server().port());
    }
    // The status of a request for `path`, with the curl arguments given.
    std::string status(const std::string& path, std::vector<std::string> arguments = {})
    {
        arguments.push_back(url(path));
        return curlStatus(arguments);
    }
    std::string propfind(const std::string& path, std::vector<std::string> arguments = {})
    {
        arguments.insert(arguments.end(), { "-X", "PROPFIND", "-H", "Depth: 0" });
        return status(path, arguments);
    }
    // "Authentication" on the root's remote-access page.
    std::string authenticationStatus()
    {
        auto remote = settings().pageForSlot(VKSettingsPage::RemoteAccess);
        auto& groups = dynamic_cast<VKTableSubviewController&>(*remote).tableGroups();
        auto& row = dynamic_cast<VKSubviewCell&>(*groups.at(0).at(1));
        row.syncToDefaults();
        return row.status().text();
    }
};

TEST_F(VKRemoteAccessSettingsControllerTest, TheNoteSaysWhereTheServerIs)
{
    launch();
    openRemoteAccess();
    EXPECT_EQ(driver.cellTexts(topTable()), (std::vector<std::string> { "Server Enabled", "Authentication", "Prevent Sleep" }));
    EXPECT_EQ(page().statusText(), "Enabled");
    EXPECT_EQ(page().footerText(), addressFooter());

    driver.toggle(toggle("Server Enabled").switchControl());
    EXPECT_EQ(page().footerText(), "");
    EXPECT_EQ(page().statusText(), "Disabled");
    EXPECT_TRUE(server().isStarted()); // until Done
    driver.toggle(toggle("Server Enabled").switchControl());
    EXPECT_EQ(page().footerText(), addressFooter());

    // Reachable only over the cell network: no Wi-Fi.
    test::FakeReachability::made().front()->fire(0x2 | 0x40000);
    runLoop();
    EXPECT_EQ(page().footerText(), "No WiFi connection detected");
    test::FakeReachability::made().front()->fire(WiFi);
    runLoop();
    EXPECT_EQ(page().footerText(), addressFooter());

    // A page not on screen follows the key too, as long as it lives.
    auto spare = VKRemoteAccessSettingsController::remoteAccessSettingsController(delegate);
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(false));
    EXPECT_EQ(spare->footerText(), "");
    core::UserDefaults::standard()->set("VKServerEnabled", core::Value(true));
    EXPECT_EQ(spare->footerText(), addressFooter());
    tapDone();
}

TEST_F(VKRemoteAccessSettingsControllerTest, CredentialsTypedReachTheServerAtOnce)
{
    launch();
    makeFile("Documents/hello.txt", "hello");
    openRemoteAccess();
    tapRow("Authentication");
    EXPECT_EQ(topPage().title(), "Authentication");
    auto& auth = dynamic_cast<VKRemoteAuthSettingsController&>(topPage());
    EXPECT_EQ(auth.footerText(),
        fmt::format("Enter an empty password to disable remote authentication.\n\nGuests can connect without "
                    "authenticating by appending \"Public\" to the WebDAV URL\nhttp://127.0.0.1:{}/Public",
            server().port()));
    EXPECT_TRUE(field("Password").textField().isSecureTextEntry());
    EXPECT_EQ(field("Username").textField().clearButtonMode(), ui::TextField::ViewMode::WhileEditing);
    EXPECT_EQ(field("Password").textField().clearButtonMode(), ui::TextField::ViewMode::WhileEditing);

    typeInto("Username", "alice");
    typeInto("Password", "s3cret");
    EXPECT_EQ(VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), "s3cret");
    EXPECT_EQ(auth.statusText(), "On");
    EXPECT_EQ(propfind("/Documents/"), "401");
    test::ChildProcess challenge({ "curl", "-s", "-D", "-", "-o", "/dev/null", "-X", "PROPFIND", url("/Documents/") });
    ASSERT_TRUE(core::RunLoop::main().runUntil([&] { return !challenge.isRunning(); }, 30));
    EXPECT_NE(challenge.output().find("WWW-Authenticate: Digest realm="), std::string::npos) << challenge.output();
    EXPECT_EQ(propfind("/Documents/", { "--digest", "-u", "alice:s3cret" }), "207");
    EXPECT_EQ(propfind("/Documents/", { "--digest", "-u", "alice:wrong" }), "401");

    // Guests reach "/Public" only.
    driver.toggle(dynamic_cast<VKSwitchCell&>(cell("Remote Guest Access")).switchControl());
    runLoop();
    EXPECT_EQ(status("/Public/hello.txt"), "200");
    EXPECT_EQ(propfind("/Documents/"), "401");

    // The password cleared: "Off", and nobody is asked.
    typeInto("Password", "");
    EXPECT_EQ(VKKeychain::sharedKeychain()->passwordForUser(VKLoginPasswordService, VKLoginPasswordService), std::nullopt);
    EXPECT_EQ(auth.statusText(), "Off");
    EXPECT_EQ(propfind("/Documents/"), "207");
    tapBack();
    EXPECT_EQ(dynamic_cast<VKSubviewCell&>(cell("Authentication")).status().text(), "Off");
    tapDone();
}

// "On" only when the server asks for credentials: a password without a
// user name protects nothing.
TEST_F(VKRemoteAccessSettingsControllerTest, APasswordWithoutAUserNameIsOff)
{
    launch();
    openRemoteAccess();
    tapRow("Authentication");
    typeInto("Password", "s3cret");
    EXPECT_EQ(topPage().title(), "Authentication");
    EXPECT_EQ(dynamic_cast<VKRemoteAuthSettingsController&>(topPage()).statusText(), "Off");
    EXPECT_EQ(propfind("/Documents/"), "207");
    typeInto("Username", "alice");
    EXPECT_EQ(authenticationStatus(), "On");
    EXPECT_EQ(propfind("/Documents/"), "401");
    // A user name of the wrong kind reads as none.
    core::UserDefaults::standard()->set("VKLoginUsername", core::Value::makeArray({ core::Value("alice") }));
    EXPECT_EQ(authenticationStatus(), "Off");
    tapBack();
    tapDone();
}

// A keychain that refuses the new password drops the old one with it,
// rather than keep a password the person meant to replace; the server then
// refuses everyone (a password was set), rather than serve anyone.
TEST_F(VKRemoteAccessSettingsControllerTest, AFailedPasswordWriteLeavesTheServerClosed)
{
    auto store = std::make_shared<sec::MemoryKeychainStore>();
    VKKeychain::setSharedKeychainForTesting(VKKeychain::create(store, pathInHome("Library/webdav.p12")));
    VKKeychain::sharedKeychain()->setPassword("old", VKLoginPasswordService, VKLoginPasswordService);
    core::UserDefaults::standard()->set("VKLoginUsername", core::Value("alice"));
    launch();
    EXPECT_EQ(propfind("/Documents/"), "401");
    openRemoteAccess();
    tapRow("Authentication");
    store->failNext(sec::MemoryKeychainStore::Operation::Update, sec::KeychainStore::IOError);
    typeInto("Password", "new");
    EXPECT_TRUE(logContains("Warning, SecItemUpdate failed: -36"));
    EXPECT_EQ(dynamic_cast<VKRemoteAuthSettingsController&>(topPage()).statusText(), "On");
    EXPECT_EQ(propfind("/Documents/"), "401");
    EXPECT_EQ(propfind("/Documents/", { "--digest", "-u", "alice:old" }), "401");
    tapBack();
    tapDone();
}

TEST_F(VKRemoteAccessSettingsControllerTest, TheServerFollowsTheSwitchAtDone)
{
    launch();
    uint16_t oldPort = server().port();
    test::RawClient kept(oldPort);
    EXPECT_EQ(head(kept, "/Documents/"), "HTTP/1.1 200 OK");
    openRemoteAccess();
    driver.toggle(toggle("Server Enabled").switchControl());
    EXPECT_EQ(status("/Documents/"), "200"); // still listening
    tapDone();
    EXPECT_FALSE(server().isStarted());
    EXPECT_EQ(status("/Documents/"), "000");
    EXPECT_EQ(head(kept, "/Public/"), "HTTP/1.1 200 OK");

    // Back on with its port taken meanwhile: the server moves, and the
    // note names where it went. The port it let go may be any socket's
    // by now, so it is pointed at one the test holds.
    test::HeldPorts held;
    const uint16_t taken = held.hold();
    server().setPort(taken);
    delegate->server().setFallbackPorts({ 0 });
    openRemoteAccess();
    driver.toggle(toggle("Server Enabled").switchControl());
    tapDone();
    ASSERT_TRUE(server().isStarted());
    EXPECT_NE(server().port(), taken);
    auto moved = driver.alert();
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->message(), fmt::format("The Tandry connection URL has changed to:\n\n{}",
                                    server().hostURL() ? server().hostURL()->absoluteString() : std::string()));
    driver.pressAlertButton("OK");
    advance(1);
    openRemoteAccess();
    EXPECT_EQ(page().footerText(), addressFooter());
    EXPECT_EQ(curlStatus({ fmt::format("http://127.0.0.1:{}/", server().port()) }), "200");
    tapDone();

    // Every port taken: the log line and the alert; the setting stays on.
    openRemoteAccess();
    driver.toggle(toggle("Server Enabled").switchControl());
    tapDone();
    server().setPort(held.hold());
    delegate->server().setFallbackPorts({ taken });
    openRemoteAccess();
    driver.toggle(toggle("Server Enabled").switchControl());
    tapDone();
    EXPECT_FALSE(server().isStarted());
    EXPECT_TRUE(logContains("Error starting HTTP Server: "));
    auto alert = driver.alert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "Warning");
    EXPECT_EQ(alert->message(), "Tandry encountered an error starting the WebDAV server");
    EXPECT_EQ(alert->buttonTitle(alert->cancelButtonIndex()), "OK");
    EXPECT_TRUE(core::UserDefaults::standard()->boolForKey("VKServerEnabled"));
    driver.pressAlertButton("OK");
    advance(1);
}

TEST_F(VKRemoteAccessSettingsControllerTest, PreventSleepIsAppliedAtDone)
{
    launch();
    auto& application = *VKApplication::sharedApplication();
    EXPECT_FALSE(application.isIdleTimerDisabled());
    openRemoteAccess();
    driver.toggle(toggle("Prevent Sleep").switchControl());
    EXPECT_TRUE(core::UserDefaults::standard()->boolForKey("VKInsomniaEnabled"));
    tapDone();
    EXPECT_TRUE(application.isIdleTimerDisabled());
    openRemoteAccess();
    driver.toggle(toggle("Prevent Sleep").switchControl());
    tapDone();
    EXPECT_FALSE(application.isIdleTimerDisabled());

    // A client connected keeps the device awake whatever the setting.
    test::RawClient kept(server().port());
    EXPECT_EQ(head(kept, "/Public/"), "HTTP/1.1 200 OK");
    openSettings();
    tapDone();
    EXPECT_TRUE(application.isIdleTimerDisabled());
}

} // namespace
