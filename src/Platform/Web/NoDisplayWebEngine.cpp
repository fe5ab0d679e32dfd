#include "Platform/Web/NoDisplayWebEngine.h"

#include "Platform/Core/Log.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebPage.h"

#include <atomic>

namespace web {

namespace {

class NoDisplayPage : public WebPage {
public:
    void loadRequest(const core::URLRequest& request) override { fail(request.url().absoluteString()); }
    void loadHTML(const std::string&, const std::string& baseURL) override { fail(baseURL); }
    void loadData(const core::Data&, const std::string&, const std::string&, const std::string& baseURL) override
    {
        fail(baseURL);
    }
    void stopLoading() override { }
    void reload() override { }
    void goBack() override { }
    void goForward() override { }
    void answerNavigation(uint64_t, bool) override { }
    void answerResponse(uint64_t, bool) override { }
    void evaluateJavaScript(const std::string&, ScriptCompletion completion) override
    {
        core::RunLoop::main().post([completion = std::move(completion)] {
            auto error = WebError::needsDisplay(core::URL());
            if (completion)
                completion({}, &error);
        });
    }
    void setGeometry(gfx::Size, float) override { }
    void setPageZoom(double) override { }
    void scrollTo(gfx::Point, std::function<void()> done) override { later(std::move(done)); }
    void tap(gfx::Point) override { }
    void elementAt(gfx::Point, ElementCompletion completion) override
    {
        later([completion = std::move(completion)] { completion({}); });
    }
    void updateSnapshot(std::function<void()> done) override { later(std::move(done)); }
    void printToPDF(const std::string&, PrintCompletion completion) override
    {
        core::RunLoop::main().post([completion = std::move(completion)] {
            auto error = WebError::needsDisplay(core::URL());
            if (completion)
                completion(&error);
        });
    }
    std::string defaultUserAgent() const override { return NoDisplayWebEngine::shared()->defaultUserAgent(); }
    void setUserAgent(const std::string&) override { }
    void setFileFolders(const std::optional<std::vector<std::string>>&) override { }

private:
    static void later(std::function<void()> done)
    {
        if (done)
            core::RunLoop::main().post(std::move(done));
    }

    void fail(const std::string& address)
    {
        static std::atomic<bool> logged { false };
        if (!logged.exchange(true))
            core::log("Warning, web content needs a display: no page is loaded");
        auto url = core::URL::parse(address.empty() ? "about:blank" : address).value_or(core::URL());
        deliver([url](WebPageClient& client) {
            client.pageDidStartLoad(url.absoluteString());
            client.pageDidFailLoad(WebError::needsDisplay(url));
        });
    }
};

} // namespace

std::shared_ptr<NoDisplayWebEngine> NoDisplayWebEngine::shared()
{
    static auto engine = std::make_shared<NoDisplayWebEngine>();
    return engine;
}

std::shared_ptr<WebPage> NoDisplayWebEngine::makePage()
{
    return std::make_shared<NoDisplayPage>();
}

} // namespace web
