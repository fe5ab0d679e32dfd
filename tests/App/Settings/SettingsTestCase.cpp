#include "SettingsTestCase.h"

#include "App/Settings/VKSettingsController.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Shell/Settings/VKTextFieldCell.h"
#include "Shell/VKApplication.h"
#include "Shell/VKNavigationController.h"
#include "HTTP/HTTPServer.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/InterfaceAddresses.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"
#include "Platform/UI/Window.h"
#include "Support/ChildProcess.h"
#include "Support/FakeReachability.h"
#include "WebDAV/WebDAVCredentials.h"

#include <fmt/format.h>

namespace test {

namespace {

// What the browser shows under the settings: it turns with the device, so
// a test can turn the interface before the settings (which never turn)
// come up.
class BrowserScreen : public ui::ViewController {
public:
    BrowserScreen() { setTitle("Documents"); }
    bool shouldAutorotate(ui::Orientation) override { return true; }
};

} // namespace

std::shared_ptr<ui::Application> SettingsTestCase::makeApplication()
{
    return VKApplication::create();
}

void SettingsTestCase::launch(const DeviceScreen& device)
{
    useDeviceScreen(window(), device);
    std::vector<std::string> arguments { "-VKPortNumber", "0" };
    if (device.tablet)
        arguments.insert(arguments.end(), { "-DeviceIdiom", "tablet" });
    core::UserDefaults::setArguments(arguments);
    // The delegate wires the keychain of this test's home, as the program
    // does; credentials left by an earlier test would read another one.
    WebDAVCredentials::setCurrent(nullptr);
    FakeReachability::install();
    setFixedInterfaceAddresses(std::vector<net::InterfaceAddress> { { "wlan0", net::InterfaceAddress::Family::IPv4, "127.0.0.1" } });
    publisher = std::make_shared<FakePublisher>("Tandry-Test");
    NetServicePublisher::setShared(publisher);
    delegate = VKAppDelegate::create();
    ASSERT_TRUE(delegate->applicationDidFinishLaunching());
    FakeReachability::made().front()->fire(WiFi);
    browser = VKNavigationController::create(std::make_shared<BrowserScreen>());
    delegate->setNavigationController(browser);
    window().setRootViewController(browser);
    runLoop();
}

void SettingsTestCase::TearDown()
{
    if (delegate) {
        if (browser && browser->modalViewController())
            browser->dismissModalViewController(false);
        runLoop();
        delegate->applicationWillTerminate();
    }
    window().setRootViewController(nullptr);
    browser.reset();
    delegate.reset();
    NetServicePublisher::setShared(nullptr);
    WebDAVCredentials::setCurrent(nullptr);
    for (auto page : { VKSettingsPage::RemoteAccess, VKSettingsPage::Passcode, VKSettingsPage::SortOrder,
             VKSettingsPage::TextEncodings, VKSettingsPage::PDF, VKSettingsPage::SlideShow, VKSettingsPage::CloudServers,
             VKSettingsPage::DiskQuota })
        VKSettingsController::setPageFactoryForTesting(page, nullptr);
    runLoop();
    UITestCase::TearDown();
}

void SettingsTestCase::openSettings(int group)
{
    delegate->showSettings(nullptr, group);
    advance(1);
}

ui::NavigationController& SettingsTestCase::settingsNavigation() const
{
    auto* presented = dynamic_cast<ui::NavigationController*>(browser->modalViewController());
    if (!presented)
        throw std::runtime_error("the settings are not shown");
    return *presented;
}

VKSettingsController& SettingsTestCase::settings() const
{
    return dynamic_cast<VKSettingsController&>(*settingsNavigation().viewControllers().front());
}

ui::ViewController& SettingsTestCase::topPage() const
{
    return *settingsNavigation().topViewController();
}

ui::TableView& SettingsTestCase::topTable() const
{
    return dynamic_cast<ui::TableView&>(*topPage().view());
}

ui::TableViewCell& SettingsTestCase::cell(const std::string& text) const
{
    auto& table = topTable();
    auto& self = const_cast<SettingsTestCase&>(*this);
    for (int section = 0; section < table.numberOfSections(); ++section)
        for (int row = 0; row < table.numberOfRows(section); ++row) {
            self.driver.scrollToRow(table, { section, row });
            auto* found = table.cellForRow({ section, row });
            if (found && found->debugText() == text)
                return *found;
        }
    throw std::runtime_error("no row \"" + text + "\"");
}

VKSwitchCell& SettingsTestCase::toggle(const std::string& text) const
{
    return dynamic_cast<VKSwitchCell&>(cell(text));
}

VKTextFieldCell& SettingsTestCase::field(const std::string& text) const
{
    return dynamic_cast<VKTextFieldCell&>(cell(text));
}

void SettingsTestCase::typeInto(const std::string& row, const std::string& text)
{
    auto& target = field(row).textField();
    driver.tap(target);
    target.setSelectedRange({ 0, target.text().size() });
    if (!target.text().empty())
        driver.deleteBackward();
    driver.type(text);
    driver.pressReturn();
}

void SettingsTestCase::tapRow(const std::string& text)
{
    auto& table = topTable();
    auto& row = cell(text);
    driver.tapRow(table, *table.indexPathForCell(row));
    advance(1);
}

void SettingsTestCase::tapDone()
{
    auto item = topPage().navigationItem().rightBarButtonItem();
    if (!item)
        throw std::runtime_error("no Done button");
    driver.tapBarItem(*item);
    advance(1);
}

void SettingsTestCase::tapBack()
{
    driver.tapBack();
    advance(1);
}

HTTPServer& SettingsTestCase::server() const
{
    return *delegate->httpServer();
}

std::string SettingsTestCase::url(const std::string& path) const
{
    return fmt::format("http://127.0.0.1:{}{}", server().port(), path);
}

std::string SettingsTestCase::curlStatus(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), { "curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "20" });
    ChildProcess client(arguments);
    EXPECT_TRUE(core::RunLoop::main().runUntil([&] { return !client.isRunning(); }, 30)) << client.errors();
    client.wait(1);
    return client.output();
}

} // namespace test
