#pragma once

// The web viewer's question to the page whether a single tap hit a link:
// the page's script answers for the tap's point in its viewport; no link,
// or no answer within the viewer's TapScriptTimeout, gives the tap to the
// frame, and a link named after that puts the bars back as they were. The
// viewer owns it as a member; a later tap or the viewer going drops the
// answers of the earlier one.

#include "Platform/Graphics/Geometry.h"

class VKWebView;
class VKWebViewController;

class VKWebLinkTap {
public:
    explicit VKWebLinkTap(VKWebViewController& viewer) : m_viewer(viewer) { }
    VKWebLinkTap(const VKWebLinkTap&) = delete;
    VKWebLinkTap& operator=(const VKWebLinkTap&) = delete;

    // Asks `webView` about the tap at `inWebView`; `inView` is where the
    // frame takes it.
    void ask(VKWebView& webView, gfx::Point inWebView, gfx::Point inView);
    // The answers still to come count for nothing.
    void cancel() { ++m_generation; }

private:
    VKWebViewController& m_viewer;
    unsigned m_generation = 0;
};
