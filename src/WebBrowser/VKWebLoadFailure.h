#pragma once

namespace core {
class Error;
class URL;
}
class VKWebBrowserController;

// What a failed load of the browser does. Stopped loads, frames' and other
// addresses' failures, cancellations and loads under another screen end
// quietly. An unknown one-word host is tried once more with ".com"; other
// unknown hosts are searched for, unless they are the search site's. A
// certificate the system does not trust gets the certificate sheet, whose
// Continue trusts it for its host and loads the address again. An
// open request that cannot be shown says so; everything else alerts with
// the failing host as title. Every path but a retry or search ends the load.
class VKWebLoadFailure {
public:
    static void answer(VKWebBrowserController& browser, const core::Error& error);
    // Whether the engine's address of a failed load is the one asked for:
    // the engine writes an empty path as "/", the host in lower case and
    // no default port.
    static bool isSameAddress(const core::URL& a, const core::URL& b);
};
