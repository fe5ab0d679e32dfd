#pragma once

// The fixture of the tests that run WebKit itself: the program's Xvfb, the
// GTK engine installed for the test, a web view filling the key window with
// a recording delegate, and a pump that waits in real time (WebKit works in
// processes of its own) while the test clock stays put.

#include "WebTestDelegate.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebView.h"

#include "Support/UITestCase.h"
#include "Support/XvfbDisplay.h"

namespace test {

class WebKitTestCase : public UITestCase {
protected:
    void SetUp() override
    {
        UITestCase::SetUp();
        TANDRY_REQUIRE_DISPLAY();
        engine = web::GtkWebEngine::shared();
        ASSERT_TRUE(engine) << "GTK did not start on " << XvfbDisplay::display();
        web::WebEngine::setCurrent(engine);
        view = web::WebView::create(window().bounds());
        view->setDelegate(delegate);
        window().addSubview(view);
    }
    void TearDown() override
    {
        if (view)
            view->removeFromSuperview();
        view.reset();
        UITestCase::TearDown();
    }

    static bool waitFor(const std::function<bool()>& predicate, double seconds = 45)
    {
        return core::RunLoop::main().runUntil(predicate, seconds);
    }
    // Waits for the next end of a load (finish or failure).
    bool waitForLoadEnd(size_t ends = 1)
    {
        return waitFor([&] { return delegate->count("didFinishLoad") + delegate->count("didFailLoad") >= ends; });
    }
    std::string evaluate(std::string_view script)
    {
        // Shared: an answer after the wait gave up has somewhere to go.
        auto answer = std::make_shared<std::optional<std::string>>();
        view->evaluateJavaScript(script, [answer](const std::string& result, const core::Error* error) {
            *answer = error ? "error: " + error->localizedDescription() : result;
        });
        waitFor([&] { return answer->has_value(); });
        return answer->value_or("no answer");
    }

    std::shared_ptr<web::GtkWebEngine> engine;
    std::shared_ptr<WebTestDelegate> delegate = std::make_shared<WebTestDelegate>();
    std::shared_ptr<web::WebView> view;
};

} // namespace test
