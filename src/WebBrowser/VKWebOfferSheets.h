#pragma once

#include <memory>
#include <set>
#include <string>

namespace core {
class HTTPURLResponse;
class URL;
class URLRequest;
}
namespace ui {
class ActionSheet;
}
class VKWebBrowserController;
class VKWebBrowserView;

// The browser's download hand-off on its two sheets. A response of a type
// the browser does not show itself is offered with its address as the
// title (sheet 1002): Open asks for it again marked as an open request,
// with an empty "Referer" so none goes out; Download hands it to the
// download delegate; Cancel ends the load. On a held link's sheet (1001)
// Open loads the link as an open request and Download hands it over; the
// device's sheet does the rest. The browser holds it as a member.
class VKWebOfferSheets {
public:
    explicit VKWebOfferSheets(VKWebBrowserController& browser) : m_browser(browser) { }

    // The types the browser shows itself; others are offered.
    static const std::set<std::string>& theStandardWebMIMETypes();
    // The type a response is taken for: its own, unless it says "text/html"
    // for an address whose last component's extension names another type.
    static std::string effectiveMIMEType(const std::string& mimeType, const core::URL& url);
    // Whether the browser shows `response` itself: a type it shows, or an
    // open request (`request`'s or, loading, `webView`'s).
    static bool shows(const core::HTTPURLResponse& response, const core::URLRequest& request,
        VKWebBrowserView* webView);

    // Shows the offer of `request` over the browser's screens; without a
    // window it only logs.
    void offerResponse(const core::URLRequest& request);
    // A button of sheet 1001 or 1002 (others are not ours).
    void clickedButton(ui::ActionSheet& sheet, int index);

private:
    void linkSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index);
    void MIMETypeSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index);

    VKWebBrowserController& m_browser;
};
