#pragma once

#include "Platform/Core/URL.h"

#include <optional>
#include <string>

// What the visit history keeps of the browser's loads. A load that ended
// well is recorded with its title unless the page says "404 Not Found".
// The engine may tell a page's title only after the load's end: until the
// next load starts, a new title of the page that ended well records it
// again with that title, and a late "404 Not Found" takes the page's
// entries of today out of the history.
class VKWebVisits {
public:
    void loadStarted() { m_endedURL.reset(); }
    void loadEnded(const std::optional<core::URL>& url, const std::string& title, bool success);
    // Whether `url` is the page whose load ended last, before the next started.
    bool isEndedPage(const core::URL& url) const { return m_endedURL && url == *m_endedURL; }
    // The ended page's title is now `title`.
    void titleChanged(const std::string& title);

private:
    std::optional<core::URL> m_endedURL;
    bool m_endedWell = false;
};
