#pragma once

#include <memory>

namespace core {
class URLRequest;
}
namespace ui {
class ActionSheet;
}
class VKWebBrowserController;

// The browser's download hand-off on its two sheets. A response of a type
// the browser does not show itself is offered with its address as the
// title (sheet 1002): Open asks for it again marked as an open request,
// with an empty "Referer" so none goes out; Download hands it to the
// download delegate; Cancel ends the load. On a held link's sheet (1001)
// Open loads the link as an open request and Download hands it over; the
// device's sheet does the rest. The browser owns it and is held weakly.
class VKWebOfferSheets {
public:
    explicit VKWebOfferSheets(std::weak_ptr<VKWebBrowserController> browser) : m_browser(std::move(browser)) { }

    // Shows the offer of `request` over the browser's screens; without a
    // window it only logs.
    void offerResponse(const core::URLRequest& request);
    // A button of sheet 1001 or 1002 (others are not ours).
    void clickedButton(ui::ActionSheet& sheet, int index);

private:
    void linkSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index);
    void MIMETypeSheetClickedButton(VKWebBrowserController& browser, ui::ActionSheet& sheet, int index);

    std::weak_ptr<VKWebBrowserController> m_browser;
};
