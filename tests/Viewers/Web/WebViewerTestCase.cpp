#include "WebViewerTestCase.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Support/XvfbDisplay.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace test {

void WebViewerTestCase::SetUp()
{
    DocumentTestCase::SetUp();
    guestHooks = std::make_shared<GuestHooks>();
    hooks = guestHooks;
    VKAppDelegateHooks::setCurrent(hooks);
    const char* path = std::getenv("PATH");
    originalPath = path ? path : "";
}

void WebViewerTestCase::TearDown()
{
    EXPECT_TRUE(waitForWorkers());
    runLoop();
    DocumentTestCase::TearDown();
    ::setenv("PATH", originalPath.c_str(), 1);
}

std::shared_ptr<VKWebViewController> WebViewerTestCase::openPath(const std::string& path)
{
    auto viewer = VKWebViewController::create(VKFileResource::resourceWithPath(path), host);
    navigation->pushViewController(viewer, false);
    runLoop();
    return viewer;
}

std::shared_ptr<VKWebViewController> WebViewerTestCase::openFile(std::string_view name, std::string_view contents)
{
    return openPath(makeFile("Files/" + std::string(name), contents));
}

bool WebViewerTestCase::waitUntil(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        runLoop();
    }
    return true;
}

bool WebViewerTestCase::waitForWorkers()
{
    return waitUntil([] {
        auto names = core::Thread::runningThreadNames();
        for (const char* name : { VKWebView::RTFThreadName, VKWebViewController::ZipThreadName, VKWebDocumentConverter::ThreadName })
            if (std::find(names.begin(), names.end(), name) != names.end())
                return false;
        return true;
    });
}

void WebViewerTestCase::finishFirstLoad(VKWebViewController& viewer, std::string metaAnswer)
{
    auto& recorder = page(*viewer.webView());
    recorder.finishLoad("Page");
    runLoop();
    auto scripts = recorder.scripts();
    for (size_t i = 0; i < scripts.size(); ++i)
        if (scripts[i] == VKWebViewController::MetaTagsScript)
            recorder.answerScript(i, metaAnswer);
    runLoop();
}

void WebViewerTestCase::useWebKit()
{
    TANDRY_REQUIRE_DISPLAY();
    auto engine = web::GtkWebEngine::shared();
    ASSERT_TRUE(engine);
    web::WebEngine::setCurrent(engine);
}

bool WebViewerTestCase::waitFor(const std::function<bool()>& predicate, double seconds)
{
    return core::RunLoop::main().runUntil(predicate, seconds);
}

std::shared_ptr<VKWebViewController> WebViewerTestCase::openLoaded(const std::string& path, double seconds)
{
    auto viewer = openPath(path);
    EXPECT_TRUE(waitFor([&] { return viewer->contentDidLoad() && !viewer->contentIsLoading(); }, seconds));
    return viewer;
}

} // namespace test
