#include "Platform/Web/WebEngine.h"

#include "Platform/Core/RunLoop.h"
#include "Platform/Web/GtkStartup.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/NoDisplayWebEngine.h"
#include "Platform/Web/RecordingWebEngine.h"

namespace web {

namespace {

std::shared_ptr<WebEngine>& installed()
{
    static std::shared_ptr<WebEngine> engine;
    return engine;
}

} // namespace

WebEngine::~WebEngine() = default;

void WebEngine::clearWebsiteData(std::function<void()> done)
{
    if (done)
        core::RunLoop::main().post(std::move(done));
}

std::shared_ptr<WebEngine> WebEngine::current()
{
    if (auto engine = installed())
        return engine;
    if (auto engine = GtkWebEngine::shared())
        return engine;
    return NoDisplayWebEngine::shared();
}

void WebEngine::setCurrent(std::shared_ptr<WebEngine> engine)
{
    installed() = std::move(engine);
}

void WebEngine::resetForTesting()
{
    if (auto engine = GtkWebEngine::existing()) {
        // Nothing of one test's cookies may reach the next.
        bool cleared = false;
        engine->clearWebsiteData([&] { cleared = true; });
        core::RunLoop::main().runUntil([&] { return cleared; }, 5.0);
    }
    installed() = RecordingWebEngine::create();
}

} // namespace web
