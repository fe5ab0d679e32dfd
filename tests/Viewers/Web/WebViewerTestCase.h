#pragma once

// The web-document viewer's tests: the document frame's fixture with hooks
// whose guest mode a test switches, opening documents in the viewer on the
// recording web engine and waiting for its workers.

#include "../Document/DocumentTestCase.h"

#include "Platform/Web/RecordingWebEngine.h"
#include "Viewers/Web/VKWebViewController.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace test {

class GuestHooks : public DocumentHooks {
public:
    bool isGuestMode() const override { return guest; }
    bool guest = false;
};

class WebViewerTestCase : public DocumentTestCase {
protected:
    void SetUp() override;
    void TearDown() override;

    // Pushes a viewer of the item at `path` unanimated.
    std::shared_ptr<VKWebViewController> openPath(const std::string& path);
    // The same for "Files/<name>", made with `contents`.
    std::shared_ptr<VKWebViewController> openFile(std::string_view name, std::string_view contents);
    static web::RecordingWebPage& page(web::WebView& view) { return web::RecordingWebPage::of(view); }
    // Runs the loop until `done` holds; false after 60 seconds.
    bool waitUntil(const std::function<bool()>& done);
    // Until no conversion or zip thread of the viewer runs.
    bool waitForWorkers();
    // Finishes the viewer's first load and answers the meta check.
    void finishFirstLoad(VKWebViewController& viewer, std::string metaAnswer = "");
    bool alertShown() { return !driver.shownChoices().empty(); }

    // WebKit itself as the engine, on the test program's Xvfb (the test is
    // skipped where none can run).
    void useWebKit();
    // Waits in real time (WebKit works in processes of its own).
    static bool waitFor(const std::function<bool()>& predicate, double seconds = 30);
    // Opens the item and waits in real time (a minute, or `seconds`) for its
    // first load to end.
    std::shared_ptr<VKWebViewController> openLoaded(const std::string& path, double seconds = 60);

    std::shared_ptr<GuestHooks> guestHooks;
    // PATH as the test began (restored after it).
    std::string originalPath;
};

} // namespace test
