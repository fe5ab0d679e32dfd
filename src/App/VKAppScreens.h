#pragma once

#include <memory>
#include <string_view>

class VKAppServerState;
class VKSettingsControllerDelegate;

namespace ui {
class NavigationController;
}

// The application's own screens over the browser: the help and the
// settings, each as a form sheet in a navigation controller of its own.
// What they need is handed in per call; the server's state they are given
// is held weakly by the screens.
class VKAppScreens {
public:
    // The help topics over whatever the browser shows (the top of its modal
    // chain: the settings, when the help is asked for there).
    static void showHelp(ui::NavigationController* browser, std::weak_ptr<VKAppServerState> server);
    // The same with one page already open over the topics (pushed
    // unanimated), presented as `animated` says.
    static void showHelpPage(ui::NavigationController* browser, std::weak_ptr<VKAppServerState> server,
        std::string_view name, std::string_view title, bool animated);
    // The settings over the browser, with the page of `group` (4 remote
    // access, 8 passcode) already open when it is not 0; the top screen
    // stops editing first. Nothing shows without a browser or while it
    // presents another screen (logged).
    static void showSettings(ui::NavigationController* browser, int group, std::weak_ptr<VKAppServerState> server,
        std::weak_ptr<VKSettingsControllerDelegate> delegate);
};
