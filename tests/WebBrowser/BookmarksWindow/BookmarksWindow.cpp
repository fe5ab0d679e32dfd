// A test-only program: the browser's bookmarks screen in a navigation
// controller at the root of the desktop window, for the desktop check to
// drive from outside. Argument: the home. Its bookmarks are "One" to "Four"
// (http://one.test/ …), its history a visit today and one yesterday.
// SIGUSR1 writes the picture and view tree into the home's tmp, as the
// program's window does. It prints "ready" once the window shows, "order
// A,B,…" whenever the stored order changes and "selected URL" for each
// bookmark chosen. The window's close ends it with status 0.

#include "../../Viewers/DesktopProgram.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/Timer.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Window.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebBrowser/VKWebBookmarks.h"
#include "WebBrowser/VKWebBookmarksViewController.h"
#include "WebBrowser/VKWebHistory.h"

#include <cstdio>

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class PrintedChoices : public VKWebBookmarksViewControllerDelegate {
public:
    bool supportsDidSelectURL() const override { return true; }
    void webBookmarksViewControllerDidSelectURL(VKWebBookmarksViewController&, const std::optional<core::URL>& url) override
    {
        say("selected " + (url ? url->absoluteString() : std::string("-")));
    }
};

std::string storedOrder()
{
    std::string order;
    for (const auto& bookmark : VKWebBookmarks::sharedWebBookmarks()->bookmarks())
        order += (order.empty() ? "" : ",") + bookmark.title;
    return order;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s HOME\n", argv[0]);
        return 2;
    }
    auto application = test::startDesktopProgram(argv[1]);
    if (!application)
        return 3;
    VKRegisterWebBrowser();
    auto& loop = core::RunLoop::main();

    // Yesterday's visit is written as a stored file (the store dates new
    // visits now); the store reads it at first use.
    core::Date now = core::Date::now();
    auto visit = [](const char* address, const char* title, core::Date date) {
        return core::Value(core::Value::Dictionary { { "URL", core::Value(address) }, { "title", core::Value(title) },
            { "date", core::Value(date) } });
    };
    core::Value visits = core::Value::makeArray({ visit("http://yesterday.test/", "Yesterday's Page",
                                                      now.addingTimeInterval(-86400)),
        visit("http://today.test/", "Today's Page", now) });
    auto history = VKWebHistory::sharedWebHistory();
    core::PropertyList::writeFile(history->historyItemsPath(), visits, core::PropertyList::Format::Binary);
    auto bookmarks = VKWebBookmarks::sharedWebBookmarks();
    for (const auto& bookmark : bookmarks->bookmarks())
        bookmarks->removeBookmark(bookmark);
    for (const char* name : { "One", "Two", "Three", "Four" }) {
        std::string lower = name;
        lower[0] = char(lower[0] - 'A' + 'a');
        bookmarks->addURL(core::URL::parse("http://" + lower + ".test/"), std::string(name));
    }

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto choices = std::make_shared<PrintedChoices>();
    auto list = VKWebBookmarksViewController::initWithBookmarksDelegate(choices);
    auto navigation = VKNavigationController::create(list);
    window->setRootViewController(navigation);
    loop.runUntilIdle();
    auto host = ui::WindowHost::open({ "Bookmarks", {}, {} });
    if (!host)
        return 4;

    std::string order;
    auto watch = loop.schedule(0.1, true, [&](core::Timer&) {
        if (std::string now = storedOrder(); now != order) {
            order = now;
            say("order " + order);
        }
    });
    say("ready");
    loop.run();
    watch->invalidate();
    host.reset();
    window->setRootViewController(nullptr);
    navigation.reset();
    list.reset();
    test::endDesktopProgram();
    return 0;
}
