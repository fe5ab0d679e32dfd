#pragma once

// Where the browser's downloads go: it never downloads by itself, but hands
// a request (a link's or a response's Download) or an image of the page to
// save to this delegate, which asks for the target folder and starts the
// download.

#include "Platform/Core/URLRequest.h"

#include <optional>
#include <string>

class VKWebBrowserController;

class VKWebBrowserControllerDownloadDelegate {
public:
    virtual ~VKWebBrowserControllerDownloadDelegate() = default;

    // A request to download; no response, file name or folder goes with it.
    virtual void webBrowserControllerHandleDownloadForRequest(VKWebBrowserController& browser,
        const core::URLRequest& request) = 0;
    // An image of the page to save: its source address as the page gives it,
    // and a suggested file name (the last path component of its "alt" text),
    // none without one.
    virtual void webBrowserControllerHandleDownloadForImageSource(VKWebBrowserController& browser,
        const std::string& source, const std::optional<std::string>& suggestedName) = 0;
};
