#pragma once

// Conversions between WebKit's values and the system's that the GTK
// engine's pages and their parts share, the names of the view's own script
// world and message handler, and running a script in that world. WebKit's
// types are only declared here.

#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/Core/Value.h"
#include "Platform/Web/WebViewDelegate.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _JSCValue JSCValue;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitURIRequest WebKitURIRequest;
typedef struct _WebKitURIResponse WebKitURIResponse;

// Literals, so that they join signal names ("script-message-received::tandry").
#define OWN_WORLD_NAME "tandry-view"
#define MESSAGE_HANDLER_NAME "tandry"

namespace web {

class WebPageClient;

// How a page's parts hand a report to the view: on a later pass, through
// the page (WebPage::deliver).
using PageReport = std::function<void(WebPageClient&)>;
using DeliverReport = std::function<void(PageReport)>;

// Runs `script` in the view's own script world; `done` gets its value (null
// on failure, owned by the caller of `done`) unless `owner` is gone by then.
void evaluateInOwnWorld(WebKitWebView* view, const std::string& script, std::weak_ptr<void> owner,
    std::function<void(JSCValue* value)> done);

// An address WebKit gives: parsed as it is, else with the bytes a URL may
// not hold escaped; nothing when even that is no URL.
std::optional<core::URL> urlFrom(const char* uri);
// A request or response as the system's values (the address "about:blank"
// when WebKit's cannot be read).
core::URLRequest requestFrom(WebKitURIRequest* request);
core::HTTPURLResponse responseFrom(WebKitURIResponse* response);
// A message of the view's own script as a value: an object's own
// properties (at most 16), numbers and strings only (strings cut as
// PageMessage cuts them); null for anything else.
core::Value valueFrom(JSCValue* value);
// The answer of the view's elementAt query.
ElementInfo elementInfoFrom(JSCValue* value);
// Content rules (WebKit's JSON) that block every file URL outside
// `folders`, matched as the folders' file URLs with a trailing "/".
std::string fileFolderRules(const std::vector<std::string>& folders);

} // namespace web
