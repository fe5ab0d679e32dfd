#pragma once

#include "App/VKAppOrientationLock.h"
#include "App/VKAppServerState.h"
#include "Platform/Graphics/Color.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKFolderController;

namespace core {
class Object;
}
namespace ui {
class NavigationController;
}

// What the folder screens ask of the application: its navigation stack and
// the folder screens on it, the bars' colour, the server's state for the
// toolbar, the orientation lock, guest mode, and the screens the toolbar's
// buttons open. The application delegate answers. It hands itself to the screens
// it makes, and each screen to the screens it makes (the downloads screen
// among them); they hold it weakly.
class VKFolderBrowserServices : public VKAppServerState, public VKAppOrientationLock {
public:
    virtual ~VKFolderBrowserServices() = default;

    virtual ui::NavigationController* browserNavigation() const = 0;
    // The folder screens on the stack, from the root up.
    virtual std::vector<std::shared_ptr<VKFolderController>> browserFolderScreens() const = 0;
    // Replaces the stack with these folder screens, keeping a bottom screen
    // that is no folder screen (the root list).
    virtual void browserSetFolderScreens(std::vector<std::shared_ptr<VKFolderController>> screens) = 0;
    // Makes the stack one screen per folder from the root down to `path`.
    virtual void browserShowFolder(const std::string& path, bool animated) = 0;
    // None: the bars' standard colour.
    virtual std::optional<gfx::Color> browserBarTint() const = 0;
    // A guest uses the program: the public folder alone, nothing changed.
    virtual bool browserIsGuest() const = 0;
    virtual void browserShowServerInfo(const std::shared_ptr<core::Object>& sender) = 0;
    virtual void browserShowSettings(const std::shared_ptr<core::Object>& sender) = 0;
    virtual void browserShowHelp(const std::shared_ptr<core::Object>& sender) = 0;
};
