#pragma once

// The settings' tests: the system's application object, the application
// delegate launched as the program launches it (its server on a port the
// system assigns, "VKPortNumber" 0 in the argument domain, announced as
// "Tandry-Test" through the fake publisher, with a Wi-Fi link whose address
// is 127.0.0.1), and a browser stack in the window from which the settings
// are shown. Peers reach the server with curl.

#include "App/VKAppDelegate.h"
#include "Support/FakePublisher.h"
#include "Support/UIScreens.h"
#include "Support/UITestCase.h"

#include <memory>
#include <string>
#include <vector>

class VKNavigationController;
class VKSwitchCell;
class VKTextFieldCell;
class VKSettingsController;
class HTTPServer;
namespace ui {
class NavigationController;
class TableView;
class TableViewCell;
class ViewController;
} // namespace ui

namespace test {

class SettingsTestCase : public UITestCase {
protected:
    static constexpr uint32_t WiFi = 0x2;

    std::shared_ptr<ui::Application> makeApplication() override;
    void TearDown() override;

    // Launches the delegate on `device` (the phone unless told), with the
    // browser's stack in the window.
    void launch(const DeviceScreen& device = phoneScreen);
    // Shows the settings through the delegate and lets the sheet settle.
    void openSettings(int group = 0);
    // The shown settings: its root page, its navigation controller, and
    // the table on top of its stack.
    VKSettingsController& settings() const;
    ui::NavigationController& settingsNavigation() const;
    ui::ViewController& topPage() const;
    ui::TableView& topTable() const;
    // Taps the row whose text is `text` in the table on top (scrolling it
    // into view) and lets the push settle.
    void tapRow(const std::string& text);
    void tapDone();
    void tapBack();
    // The cell of the table on top whose text is `text`, and the same as a
    // switch row or a text-field row.
    ui::TableViewCell& cell(const std::string& text) const;
    VKSwitchCell& toggle(const std::string& text) const;
    VKTextFieldCell& field(const std::string& text) const;
    // Replaces the text of the field row `row` by typing, then "Done".
    void typeInto(const std::string& row, const std::string& text);

    HTTPServer& server() const;
    std::string url(const std::string& path) const;
    // Runs curl against the server while the loop turns; answers the HTTP
    // status ("000" when it could not connect).
    std::string curlStatus(std::vector<std::string> arguments);

    std::shared_ptr<FakePublisher> publisher;
    std::shared_ptr<VKAppDelegate> delegate;
    std::shared_ptr<VKNavigationController> browser;
};

} // namespace test
