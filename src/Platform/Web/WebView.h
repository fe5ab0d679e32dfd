#pragma once

// A view that shows web content: it loads requests, HTML strings and data,
// runs scripts, goes back and forward, and asks its delegate before every
// navigation, about responses it cannot decide alone and about sign-ins.
// The page is an engine's (WebEngine): WebKit drawn offscreen and shown
// through snapshots, placed live in a window by a WebViewPlacement, or a
// recorder in unit tests.
//
// scrollView() fills the view and mirrors the page: the page's scroll place
// and size arrive from the view's own script in the page, and setting the
// offset scrolls the page. documentView() sits in it and draws the latest
// snapshot at the place it was taken for. A tap on the view becomes a click
// on the page; a long press asks the delegate about the link or image under
// it. Scripts answer on a later pass (there is no synchronous form). Page
// dialogs become alerts; downloads, menus, permission requests and file
// choosers of the page never show. Main thread only.

#include "Platform/Core/Data.h"
#include "Platform/Core/Observable.h"
#include "Platform/Core/URL.h"
#include "Platform/Core/URLRequest.h"
#include "Platform/UI/GestureRecognizer.h"
#include "Platform/UI/View.h"
#include "Platform/Web/LoadTimeout.h"
#include "Platform/Web/WebFileAccess.h"
#include "Platform/Web/WebNavigationRequests.h"
#include "Platform/Web/WebPageClient.h"
#include "Platform/Web/WebViewLivePage.h"
#include "Platform/Web/WebViewZoom.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {
class ScrollView;
}

namespace web {

class WebDocumentView;
class WebPage;
class WebPrintFormatter;
class WebViewDelegate;

class WebView : public ui::View, public WebPageClient {
public:
    using ScriptCompletion = std::function<void(const std::string& result, const core::Error* error)>;
    // Pages are never zoomed out further than this to fit.
    static constexpr double MinimumFitZoom = 0.25;

    static std::shared_ptr<WebView> create(const gfx::Rect& frame = {});
    WebView();
    ~WebView() override;

    std::shared_ptr<WebViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { m_delegate = std::move(delegate); }

    // http, https, file, about and data. A file outside the bundle's
    // resources and the home fails (NSURLErrorNoPermissionsToReadFile), an
    // unknown scheme too (NSURLErrorUnsupportedURL), before the engine sees
    // them. The request's header fields are sent (an empty "Referer" sends
    // none).
    void loadRequest(const core::URLRequest& request);
    // Without a base URL the page is "about:blank"; with a file base URL it
    // shows that folder's pictures.
    void loadHTMLString(std::string_view html, const std::optional<core::URL>& baseURL = std::nullopt);
    // "text/plain" shows as text; the encoding is UTF-8 unless named.
    void loadData(const core::Data& data, std::string_view mimeType, std::string_view textEncodingName = {},
        const std::optional<core::URL>& baseURL = std::nullopt);
    void stopLoading();
    void reload();
    // Trusts, for `host`, the certificate a load of this view failed on
    // (the failure's ServerCertificate): loads of the host then go through.
    // Whether there was such a certificate.
    bool trustServerCertificate(const std::string& host);
    void goBack();
    void goForward();

    bool canGoBack() const { return m_state.get().canGoBack; }
    bool canGoForward() const { return m_state.get().canGoForward; }
    // The main frame's request: the one loading, else the one shown. A
    // request the app loaded comes back as given.
    const std::optional<core::URLRequest>& request() const { return m_navigation.request(); }
    std::optional<core::URL> url() const;
    std::string title() const { return m_state.get().title; }
    bool isLoading() const { return m_state.get().loading; }
    // 0 … 1.
    double estimatedProgress() const { return m_state.get().progress; }
    // Every change of the above (address, title, loading, progress, back and
    // forward) as (old, new).
    PageState state() const { return m_state.get(); }
    core::Observation observeState(std::function<void(const PageState&, const PageState&)> observer)
    {
        return m_state.observe(std::move(observer));
    }

    ui::ScrollView& scrollView() const { return *m_scrollView; }
    ui::View& documentView() const;

    // Where the page begins in the scroll view (only the origin's y counts;
    // the size is the page's). The web view sets it on every change of the
    // page's size, so a subclass that moves the page down to keep views of
    // its own above it in the scrolled content keeps it there. With the page
    // at y = N the content is the page plus N, the page's own scroll is
    // max(0, offset − N), a newly shown page starts at offset 0, taps above
    // the page reach nothing, and a live page covers only the part of the
    // view the page shows in.
    gfx::Rect documentViewFrame() const;
    virtual void setDocumentViewFrame(const gfx::Rect& frame);

    // Every change of scrollView()'s bounds (offset or size; from drags, the
    // page or code) is put to scrollViewShouldChangeBounds first: false drops
    // it. A change made is then told to scrollViewDidChangeBounds.
    virtual bool scrollViewShouldChangeBounds(const gfx::Rect& bounds)
    {
        (void)bounds;
        return true;
    }
    virtual void scrollViewDidChangeBounds(const gfx::Rect& bounds) { (void)bounds; }
    // Whether the scroll view is being set to the page's own place (a
    // report of the page), not moved by a drag or by code.
    bool isFollowingPage() const { return m_applyingPageScroll; }

    // A page wider than the view is zoomed out to its width (not below
    // MinimumFitZoom), again after each load and resize.
    bool scalesPageToFit() const { return m_zoom.scalesPageToFit(); }
    void setScalesPageToFit(bool scales);
    // The zoom the app asks for, on top of fitting (1 = CSS pixels are points).
    double zoomLevel() const { return m_zoom.zoomLevel(); }
    void setZoomLevel(double level);
    // The zoom the page is shown at now.
    double pageZoom() const { return m_zoom.pageZoom(); }
    // A person's zoom (Ctrl and the wheel, a touchpad's pinch, Ctrl+plus,
    // minus and 0) moves the zoom level within these, the page's point
    // under the pointer kept in its place.
    static constexpr double MinimumZoomLevel = 0.5;
    static constexpr double MaximumZoomLevel = 5;
    static constexpr double KeyZoomStep = 1.25;

    // Which kinds of data (the ui::TextView::DataDetectors bits) the page
    // should turn into links. Kept for the app; WebKit detects none.
    unsigned dataDetectorTypes() const { return m_dataDetectorTypes; }
    void setDataDetectorTypes(unsigned types) { m_dataDetectorTypes = types; }

    // Runs `script` in the page; the completion gets, on a later pass, the
    // result as String() gives it ("" for undefined and null) or an error
    // with the exception's message.
    void evaluateJavaScript(std::string_view script, ScriptCompletion completion);

    std::shared_ptr<WebPrintFormatter> printFormatter();
    // Prints the page into a PDF file (written whole or not at all).
    void printToPDF(const std::string& path, std::function<void(const core::Error* error)> completion);

    // The engine's user agent followed by the bundle's name and short
    // version.
    std::string userAgent() const;

    // A new picture of the page now; `completion` once the document view has
    // it (for tests and renders).
    void updateSnapshot(std::function<void()> completion);

    // Which files the page may read through file URLs, itself and what it
    // loads (frames, pictures, scripts, styles): only those inside these
    // folders (none: any readable file). Loading a file outside them fails
    // as unreadable.
    const std::optional<std::vector<std::string>>& fileFolders() const { return m_files.folders(); }
    void setFileFolders(std::optional<std::vector<std::string>> folders);

    // The engine's page (tests reach a recorder through it).
    WebPage& page();

    // View.
    void setFrame(const gfx::Rect& frame) override;
    void setBounds(const gfx::Rect& bounds) override;
    void didMoveToWindow() override;
    void layoutSubviews() override;
    bool wheelEvent(const ui::Event& event) override;
    bool performKeyCommand(ui::KeyCommand command) override;
    std::string debugText() const override { return m_state.get().url; }

    // The engine's reports.
    void pageNavigation(const PageNavigation& navigation) override;
    void pageDidStartLoad(const std::string& url) override;
    void pageDidFinishLoad() override;
    void pageDidFailLoad(const core::Error& error) override;
    void pageResponse(const PageResponse& response) override;
    void pageChallenge(const std::shared_ptr<AuthenticationChallenge>& challenge) override;
    void pageChallengeCancelled(const std::shared_ptr<AuthenticationChallenge>& challenge) override;
    void pageStateChanged(const PageState& state) override;
    void pageMetrics(const PageMetrics& metrics) override;
    void pageSnapshot(const std::shared_ptr<const WebSnapshot>& snapshot) override;
    void pageElementActions(const ElementInfo& info) override;
    void pageScriptError(const PageScriptError& error) override;
    void pageDialog(PageDialog dialog) override;
    void pageEditingFocus(bool editing) override;

    // Whether a field of the page that takes typing has the focus.
    bool isEditingFocused() const { return m_editingFocused; }

    // Whether a file may be shown: inside the bundle's resources or the home.
    static bool isReadableFile(const std::string& path);

private:
    class RecognizerDelegate;

    void failSoon(const core::Error& error);
    // `approved`: its navigation was agreed to already (a new window).
    void load(const core::URLRequest& request, bool approved);
    void loadTimedOut(const core::Error& error);
    void updateGeometry();
    void applyMetrics();
    // The page's content size in points, with the document origin added.
    void placeDocument();
    // A point of the view in the page (none above the page).
    std::optional<gfx::Point> pagePoint(gfx::Point pointInView) const;
    void contentOffsetChanged(gfx::Point offset);
    // Scrolls the page to `place` (CSS pixels); its reports wait meanwhile.
    void scrollPage(gfx::Point place);
    // Zooms by `scale` about `anchor` (a point of the view).
    void zoomBy(double scale, gfx::Point anchor);
    void tapped(ui::GestureRecognizer& recognizer);
    void longPressed(ui::GestureRecognizer& recognizer);
    std::shared_ptr<WebView> sharedSelf();

    std::weak_ptr<WebViewDelegate> m_delegate;
    std::shared_ptr<WebPage> m_page;
    std::shared_ptr<ui::ScrollView> m_scrollView;
    std::shared_ptr<WebDocumentView> m_documentView;
    std::shared_ptr<RecognizerDelegate> m_recognizerDelegate;
    core::Observation m_offsetObservation;
    core::Observable<PageState> m_state;
    WebNavigationRequests m_navigation;
    LoadTimeout m_loadTimeout { [this](const core::Error& error) { loadTimedOut(error); } };
    bool m_editingFocused = false;
    WebFileAccess m_files;
    WebViewLivePage m_live;

    std::optional<PageMetrics> m_metrics;
    WebViewZoom m_zoom { MinimumFitZoom };
    unsigned m_dataDetectorTypes = 0;
    float m_documentTop = 0;
    // A load started: its first report of the page at its top puts the
    // scroll view at 0.
    bool m_newPage = false;
    int m_pendingScrolls = 0;
    bool m_applyingPageScroll = false;
};

} // namespace web
