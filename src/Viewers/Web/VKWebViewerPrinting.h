#pragma once

// The web viewer's printing: a second web view, never shown, that loads the
// document again while the "Preparing document..." alert shows, then the
// print panel with that view's formatter, and the warning when the load or
// the job fails. The viewer owns it as a member and stays the delegate of
// both the hidden view and the alert; it hands their answers here.

#include <memory>

namespace ui {
class AlertView;
class PrintFormatter;
} // namespace ui
namespace web {
class WebPrintFormatter;
class WebView;
} // namespace web
class VKAlertView;
class VKWebView;
class VKWebViewController;

class VKWebViewerPrinting {
public:
    explicit VKWebViewerPrinting(VKWebViewController& viewer) : m_viewer(viewer) { }
    ~VKWebViewerPrinting();
    VKWebViewerPrinting(const VKWebViewerPrinting&) = delete;
    VKWebViewerPrinting& operator=(const VKWebViewerPrinting&) = delete;

    // Starts loading the hidden view; nothing while one is loading.
    void start();
    bool isPrintingView(const web::WebView& view) const;
    void didFinishLoad();
    void didFailLoad();
    // Cancel on the alert: the job ends silently.
    void alertClicked(ui::AlertView& alert);
    // The hidden view's formatter while the panel is up.
    std::shared_ptr<ui::PrintFormatter> formatter() const;
    void showPanel();
    void dismissAlert();
    // Stops and drops the hidden view.
    void release();
    VKWebView* view() const { return m_view.get(); }
    VKAlertView* alert() const { return m_alert.get(); }

private:
    VKWebViewController& m_viewer;
    std::shared_ptr<VKWebView> m_view;
    std::shared_ptr<VKAlertView> m_alert;
    std::shared_ptr<web::WebPrintFormatter> m_formatter;
};
