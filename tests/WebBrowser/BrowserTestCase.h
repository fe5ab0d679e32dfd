#pragma once

// The browser controller's tests: a browser at the root of a navigation
// controller in the test window, recorders for its two delegates, and the
// search site named "search.test".

#include "WebBrowserTestCase.h"

#include "Shell/VKNavigationController.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/UI/Window.h"
#include "Platform/Web/RecordingWebEngine.h"
#include "WebBrowser/VKWebBrowserController.h"
#include "WebBrowser/VKWebBrowserView.h"
#include "WebBrowser/VKWebLocationField.h"
#include "WebBrowser/VKWebNavigationView.h"

#include <memory>
#include <string>
#include <vector>

namespace test {

class BrowserUIRecorder : public VKWebBrowserControllerUIDelegate {
public:
    void webBrowserControllerDidEnd(VKWebBrowserController&) override { events.push_back("didEnd"); }
    void webBrowserControllerDidFinishLoad(VKWebBrowserController&) override { events.push_back("didFinishLoad"); }
    bool supportsUpdateBackForwardControls() const override { return true; }
    void webBrowserControllerUpdateBackForwardControls(VKWebBrowserController&) override { events.push_back("backForward"); }
    void webBrowserControllerWillAppear(VKWebBrowserController&) override { events.push_back("willAppear"); }
    size_t count(std::string_view event) const { return size_t(std::count(events.begin(), events.end(), event)); }

    std::vector<std::string> events;
};

class BrowserDownloadRecorder : public VKWebBrowserControllerDownloadDelegate {
public:
    void webBrowserControllerHandleDownloadForRequest(VKWebBrowserController&, const core::URLRequest& request) override
    {
        requests.push_back(request);
    }
    void webBrowserControllerHandleDownloadForImageSource(VKWebBrowserController&, const std::string& source,
        const std::optional<std::string>& name) override
    {
        images.emplace_back(source, name);
    }

    std::vector<core::URLRequest> requests;
    std::vector<std::pair<std::string, std::optional<std::string>>> images;
};

class BrowserTestCase : public WebBrowserTestCase {
protected:
    void SetUp() override
    {
        WebBrowserTestCase::SetUp();
        useEngine();
        core::UserDefaults::standard()->set(VKWebBrowserController::SearchHostKey, core::Value("search.test"));
        browser = VKWebBrowserController::webBrowserController();
        browser->setUIDelegate(ui);
        browser->setDownloadDelegate(downloads);
        navigation = VKNavigationController::create(browser);
        navigation->setNavigationBarHidden(true, false);
        window().setRootViewController(navigation);
        runLoop();
    }
    void TearDown() override
    {
        window().setRootViewController(nullptr);
        navigation.reset();
        browser.reset();
        runLoop();
        core::UserDefaults::standard()->remove(VKWebBrowserController::SearchHostKey);
        WebBrowserTestCase::TearDown();
    }

    // Installs the web engine the browser's page is made on (the recorder
    // unless a test case says otherwise).
    virtual void useEngine() { }

    VKWebBrowserView& webView() { return *browser->webView(); }
    VKWebNavigationView& bar() { return *browser->navigationView(); }
    VKWebLocationField& field() { return bar().locationField(); }
    web::RecordingWebPage& page() { return web::RecordingWebPage::of(webView()); }
    ui::ScrollView& scroller() { return webView().scrollView(); }
    // The addresses the engine was asked to load, in order.
    std::vector<std::string> loadedAddresses()
    {
        std::vector<std::string> addresses;
        for (const auto& load : page().loads())
            addresses.push_back(load.request.url().absoluteString());
        return addresses;
    }
    // Loads `address` as typed in the bar and lets the engine finish it.
    void loadPage(const std::string& address, const std::string& title = "Page")
    {
        browser->loadRequest(core::URLRequest(url(address)));
        runLoop();
        page().finishLoad(title);
        runLoop();
    }
    void typeAddress(std::string_view text)
    {
        driver.tap(field());
        runLoop();
        if (!field().text().empty())
            driver.clear(field());
        driver.type(text);
        driver.pressReturn();
        runLoop();
    }

    std::shared_ptr<BrowserUIRecorder> ui = std::make_shared<BrowserUIRecorder>();
    std::shared_ptr<BrowserDownloadRecorder> downloads = std::make_shared<BrowserDownloadRecorder>();
    std::shared_ptr<VKWebBrowserController> browser;
    std::shared_ptr<VKNavigationController> navigation;
};

} // namespace test
