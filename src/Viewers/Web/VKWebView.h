#pragma once

// The web-document viewer's web view: a web view that can show an RTF
// document, converted to HTML on a worker thread of its own, and that tells
// its viewer when the reader starts to drag the page and when the page's
// size changes, with room above the page for the viewer's top bar.

#include "Platform/Core/Value.h"
#include "Platform/UI/ScrollView.h"
#include "Platform/Web/WebView.h"

#include <memory>
#include <optional>
#include <string>

namespace core {
class Thread;
}
class VKWebView;

// Hears the start of each drag of a VKWebView's page and each change of
// the page's size.
class VKWebViewDelegate {
public:
    virtual ~VKWebViewDelegate() = default;
    virtual void webViewDidStartScrolling(VKWebView& webView, ui::ScrollView& scrollView) = 0;
    virtual void webViewDidChangeContentSize(VKWebView& webView) = 0;
};

class VKWebView : public web::WebView, public ui::ScrollViewDelegate {
public:
    // The conversion worker's thread name (tests wait for it).
    static constexpr const char* RTFThreadName = "VKRTFConversion";

    static std::shared_ptr<VKWebView> create(const gfx::Rect& frame = {});
    ~VKWebView() override;

    // The screen that shows the view, which lets go of it before it goes.
    VKWebViewDelegate* vkDelegate() const { return m_vkDelegate; }
    void setVkDelegate(VKWebViewDelegate* delegate) { m_vkDelegate = delegate; }

    // Converts the RTF file at `path` on a worker and loads the HTML with
    // `baseURL` (where its pictures are). A missing file fails on the next
    // pass with no error, a failed conversion with the converter's; both
    // reach the web view's delegate as didFailLoad.
    void loadRTFAtPath(const std::string& path, const std::optional<core::URL>& baseURL);
    bool isConvertingRTF() const { return m_conversion != nullptr; }
    // Drops a running conversion: its answer, when it comes, touches nothing.
    void cancelRTFConversion();

    // The worker's answers, on the main thread. The job holds "RTFPath",
    // "baseURL" (when given) and, once converted, "HTML".
    void rtfLoadDidFinish(const core::Value& job);
    void rtfLoadDidFail(const core::Error& error);

    // Room kept above the page (the viewer's top bar while it shows), so
    // the page's first line starts below it. A change keeps the place read
    // in the page, or its top in sight when that showed.
    float pageTop() const { return m_pageTop; }
    void setPageTop(float top);

    void willBeginDragging(ui::ScrollView& scrollView) override;
    void setDocumentViewFrame(const gfx::Rect& frame) override;

private:
    void startRTFConversionAndLoad(core::Value::Dictionary job);

    VKWebViewDelegate* m_vkDelegate = nullptr;
    std::shared_ptr<core::Thread> m_conversion;
    unsigned m_conversionGeneration = 0;
    float m_pageTop = 0;
};

// The view that draws the page of a web view (the web view's document view),
// or, for another view, the first web view's found depth first among its
// subviews; null when there is none.
ui::View* VKWebViewGetDocumentView(ui::View& view);
