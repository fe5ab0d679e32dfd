// A test-only program: the browser at the root of the desktop window, for
// the desktop check to drive from outside. Arguments: the home and the
// address to open. It prints "ready" once the window shows, "page X Y"
// where the page starts in the window, "sheet" once the sign-in sheet is
// up (once each time), "title T" for each title the bar shows once its
// page has loaded with no sign-in sheet over it, "choice T X Y" with the centre of each button of a held
// element's sheet once it has risen (window points),
// "closed" when that sheet went, and "download URL" / "image SOURCE NAME" for what reaches the download
// delegate. The window's close ends it with status 0.

#include "../../Viewers/DesktopProgram.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Core/Timer.h"
#include "Platform/UI/ActionSheet.h"
#include "Platform/UI/Button.h"
#include "Platform/Host/WindowHost.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/Window.h"
#include "WebBrowser/VKRegisterWebBrowser.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <cstdio>

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class PrintedDownloads : public VKWebBrowserControllerDownloadDelegate {
public:
    void webBrowserControllerHandleDownloadForRequest(VKWebBrowserController&, const core::URLRequest& request) override
    {
        say("download " + request.url().absoluteString());
    }
    void webBrowserControllerHandleDownloadForImageSource(VKWebBrowserController&, const std::string& source,
        const std::optional<std::string>& name) override
    {
        say("image " + source + " " + name.value_or("-"));
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HOME ADDRESS\n", argv[0]);
        return 2;
    }
    auto application = test::startDesktopProgram(argv[1]);
    if (!application)
        return 3;
    VKRegisterWebBrowser();
    auto& loop = core::RunLoop::main();
    auto address = core::URL::parse(argv[2]);
    if (!address)
        return 2;

    auto window = ui::Window::create(ui::Screen::main()->bounds());
    window->makeKeyAndVisible();
    auto downloads = std::make_shared<PrintedDownloads>();
    auto browser = VKWebBrowserController::webBrowserController();
    browser->setDownloadDelegate(downloads);
    auto navigation = VKNavigationController::create(browser);
    navigation->setNavigationBarHidden(true, false);
    window->setRootViewController(navigation);
    loop.runUntilIdle();
    auto host = ui::WindowHost::open({ "Browser", {}, {} });
    if (!host)
        return 4;
    gfx::Point page = browser->webView()->convertPoint({ 0, VKWebNavigationView::DefaultHeight }, nullptr);
    say("page " + std::to_string(int(page.x)) + " " + std::to_string(int(page.y)));
    browser->loadRequest(core::URLRequest(*address));

    // What shows, told when it changes.
    bool sheetShown = false;
    std::string title;
    std::weak_ptr<ui::ActionSheet> toldSheet;
    auto watch = loop.schedule(0.1, true, [&](core::Timer&) {
        // Told at rest only: what the test clicks or types into has come in.
        bool still = test::windowsAtRest();
        bool sheet = browser->authenticationControllerForTesting() && browser->authenticationControllerForTesting()->isViewLoaded()
            && browser->authenticationControllerForTesting()->view()->window();
        if (sheet != sheetShown && (!sheet || still)) {
            if (sheet)
                say("sheet");
            sheetShown = sheet;
        }
        // A title once its page has loaded, its links in place with nothing
        // over them: no sign-in sheet, none sliding.
        if (auto* bar = browser->navigationView();
            bar && bar->titleLabel().text() != title && !browser->webView()->isLoading() && !sheet && still) {
            title = bar->titleLabel().text();
            say("title " + title);
        }
        if (auto told = toldSheet.lock(); told && !told->isVisible()) {
            say("closed");
            toldSheet.reset();
        }
        auto held = browser->webView() ? browser->webView()->browserSheet() : nullptr;
        if (held && held->isVisible() && held != toldSheet.lock() && still) {
            toldSheet = held;
            for (int i = 0; i < held->numberOfButtons(); ++i) {
                auto* button = held->button(i);
                if (!button || !button->window())
                    continue;
                gfx::Rect frame = button->convertRect(button->bounds(), nullptr);
                say("choice " + held->buttonTitle(i) + " " + std::to_string(int(frame.midX())) + " "
                    + std::to_string(int(frame.midY())));
            }
        }
    });
    say("ready");
    loop.run();
    watch->invalidate();
    host.reset();
    window->setRootViewController(nullptr);
    navigation.reset();
    browser.reset();
    test::endDesktopProgram();
    return 0;
}
