#pragma once

// The help's tests on the real engine (the web view tests' fixture: the
// test program's Xvfb, WebKit installed, a web view with a recording
// delegate, waits in real time), in a tablet-sized key window with a
// screen to present the help from.

#include "HelpTestSupport.h"

#include "Platform/Graphics/Screen.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/WebKitTestCase.h"

#include <cstdio>
#include <string>

namespace test {

class HelpWebKitTestCase : public WebKitTestCase {
protected:
    void SetUp() override
    {
        WebKitTestCase::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        gfx::Screen::main().setBounds({ 0, 0, 768, 1024 });
        window().setFrame({ 0, 0, 768, 1024 });
        view->setFrame(window().bounds());
        base = std::make_shared<ui::ViewController>();
        window().setRootViewController(base);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        base.reset();
        WebKitTestCase::TearDown();
    }

    // Loads into the fixture's view and waits for the load's end; true
    // when it finished.
    bool load(const core::URL& url)
    {
        size_t finishes = delegate->count("didFinishLoad");
        view->loadRequest(core::URLRequest(url));
        return waitForLoadEnd(delegate->count("didFinishLoad") + delegate->count("didFailLoad") + 1)
            && delegate->count("didFinishLoad") > finishes;
    }
    // The script's answer in another web view.
    std::string evaluateIn(web::WebView& other, std::string_view script)
    {
        auto own = std::exchange(view, std::static_pointer_cast<web::WebView>(other.shared_from_this()));
        std::string answer = evaluate(script);
        view = own;
        return answer;
    }
    std::shared_ptr<ui::NavigationController> present(const std::shared_ptr<VKHelpController>& help)
    {
        auto navigation = presentHelp(*base, help);
        runLoop();
        return navigation;
    }
    // Where, in the web view, the first link to `href` sits.
    gfx::Point linkCentre(web::WebView& shown, const std::string& href)
    {
        std::string found = evaluateIn(shown, "(function () { var r = document.querySelector('a[href=\"" + href
                + "\"]').getBoundingClientRect(); return (r.left + r.width / 2) + ' ' + (r.top + r.height / 2); })()");
        float x = 0, y = 0;
        EXPECT_EQ(std::sscanf(found.c_str(), "%f %f", &x, &y), 2) << found;
        float zoom = float(shown.pageZoom());
        EXPECT_LT(y * zoom, shown.bounds().height()) << "the link is below the visible part";
        return { x * zoom, y * zoom };
    }

    std::shared_ptr<ui::ViewController> base;
};

} // namespace test
