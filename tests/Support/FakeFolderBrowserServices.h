#pragma once

// The folder browser's application for screens made in tests (header-only;
// the programs that include it link the application library): it answers
// from what the test sets and records what the screens asked for.

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderController.h"
#include "Platform/UI/NavigationController.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace test {

class FakeFolderBrowserServices : public VKFolderBrowserServices {
public:
    const std::shared_ptr<HTTPServer>& httpServer() const override { return server; }
    const std::shared_ptr<NetReachability>& netReachability() const override { return reachability; }
    bool isOrientationLocked() const override { return orientationLocked; }
    void setOrientationLocked(bool locked) override { orientationLocked = locked; }

    ui::NavigationController* browserNavigation() const override { return navigation; }
    std::vector<std::shared_ptr<VKFolderController>> browserFolderScreens() const override
    {
        std::vector<std::shared_ptr<VKFolderController>> screens;
        if (navigation)
            for (const auto& controller : navigation->viewControllers())
                if (auto screen = std::dynamic_pointer_cast<VKFolderController>(controller))
                    screens.push_back(std::move(screen));
        return screens;
    }
    void browserSetFolderScreens(std::vector<std::shared_ptr<VKFolderController>> screens) override
    {
        if (navigation)
            navigation->setViewControllers({ screens.begin(), screens.end() }, false);
    }
    void browserShowFolder(const std::string& path, bool) override { shown.push_back(path); }
    std::optional<gfx::Color> browserBarTint() const override { return barTint; }
    bool browserIsGuest() const override { return guest; }
    void browserShowServerInfo(const std::shared_ptr<core::Object>&) override { shown.push_back("server info"); }
    void browserShowSettings(const std::shared_ptr<core::Object>&) override { shown.push_back("settings"); }
    void browserShowHelp(const std::shared_ptr<core::Object>&) override { shown.push_back("help"); }

    ui::NavigationController* navigation = nullptr;
    std::shared_ptr<HTTPServer> server;
    std::shared_ptr<NetReachability> reachability;
    std::optional<gfx::Color> barTint;
    bool orientationLocked = false;
    bool guest = false;
    // The folders shown by path, and "server info", "settings", "help".
    std::vector<std::string> shown;
};

} // namespace test
