#pragma once

// What makes the pages behind web views. New web views take the current
// engine: the one installed (the test environment installs a recorder),
// else WebKit when a display can be opened, else one whose loads fail
// because web content needs a display. Main thread only.

#include <functional>
#include <memory>
#include <string>

namespace web {

class WebPage;

class WebEngine {
public:
    virtual ~WebEngine();

    virtual std::shared_ptr<WebPage> makePage() = 0;
    virtual std::string defaultUserAgent() const = 0;
    // Forgets cookies, caches and other website data; `done` runs once
    // they are gone (on a later pass).
    virtual void clearWebsiteData(std::function<void()> done);

    static std::shared_ptr<WebEngine> current();
    // Null goes back to choosing by the display.
    static void setCurrent(std::shared_ptr<WebEngine> engine);

    // The test environment, before and after each test: website data
    // forgotten and a fresh recorder installed.
    static void resetForTesting();
};

} // namespace web
