#pragma once

// The start of the benchmarks that show web pages through our web layer:
// the benchmark's own Xvfb, the test environment on a phone of 320 × 480
// points at scale 2 (as the bare peers draw), and WebKit as the engine.
// Once per process; false when there is no display or GTK did not start.

#include "../ScreenBench.h"

#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebViewDelegate.h"

#include "Support/XvfbDisplay.h"

namespace bench {

inline bool beginWebBench(const std::string& home)
{
    static bool ready = [&] {
        if (!test::XvfbDisplay::start())
            return false;
        beginScreenBench(home, "phone", { 320, 480 }, 2);
        auto engine = web::GtkWebEngine::shared();
        if (!engine)
            return false;
        web::WebEngine::setCurrent(engine);
        return true;
    }();
    return ready;
}

// A delegate that notes how the view's load ended.
class LoadEnds : public web::WebViewDelegate {
public:
    bool finished = false;
    bool failed = false;
    void didFinishLoad(web::WebView&) override { finished = true; }
    void didFailLoad(web::WebView&, const core::Error&) override { failed = true; }
};

} // namespace bench
