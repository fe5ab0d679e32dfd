#pragma once

// A page of the GTK engine: a WebKit view in an offscreen window of the web
// view's size × scale, zoomed by scale × page zoom so that CSS pixels map to
// points. Every WebKit signal is turned into a report delivered to the view
// on a later pass; decisions, sign-ins and dialogs are held by reference
// until the view answers, and dropped (ignored, cancelled, closed) with the
// page. The view's own script world carries the scroll and error reports
// and the element queries. Its parts, which it owns: the pictures
// (GtkPagePictures), the sign-in questions (GtkSignInQuestions), the
// file-folder rule (GtkFileFolderRule) and the load's tries again
// (GtkLoadRetry). WebKit's types are only declared here.

#include "Platform/Web/GtkTimeout.h"
#include "Platform/Web/GtkWebEngine.h"
#include "Platform/Web/WebPage.h"

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitUserContentManager WebKitUserContentManager;
typedef struct _WebKitPolicyDecision WebKitPolicyDecision;
typedef struct _WebKitURIResponse WebKitURIResponse;
typedef struct _WebKitURIRequest WebKitURIRequest;
typedef struct _GtkPrintSettings GtkPrintSettings;
typedef struct _GtkPageSetup GtkPageSetup;
typedef struct _GTlsCertificate GTlsCertificate;

namespace web {

class GtkFileFolderRule;
class GtkLoadRetry;
class GtkPagePictures;
class GtkSignInQuestions;

class GtkWebPage : public WebPage {
public:
    explicit GtkWebPage(std::shared_ptr<GtkWebEngine> engine);
    ~GtkWebPage() override;
    // Makes the widget and connects the signals.
    void start();

    void loadRequest(const core::URLRequest& request) override;
    void loadHTML(const std::string& html, const std::string& baseURL) override;
    void loadData(const core::Data& data, const std::string& mimeType, const std::string& textEncodingName,
        const std::string& baseURL) override;
    void stopLoading() override;
    void reload() override;
    void goBack() override;
    void goForward() override;
    std::string normalizedURL(const std::string& url) const override;
    void answerNavigation(uint64_t decision, bool allow) override;
    void answerResponse(uint64_t decision, bool use) override;
    void evaluateJavaScript(const std::string& script, ScriptCompletion completion) override;
    void setGeometry(gfx::Size size, float scale) override;
    void setPageZoom(double zoom) override;
    void scrollTo(gfx::Point offset, std::function<void()> done) override;
    void tap(gfx::Point point) override;
    void elementAt(gfx::Point point, ElementCompletion completion) override;
    void updateSnapshot(std::function<void()> done) override;
    void printToPDF(const std::string& path, PrintCompletion completion) override;
    // Prints the page with `settings` (the printer they name) on `setup`'s
    // paper (null: the defaults) through the engine's own asynchronous
    // print operation; the completion runs on a later pass.
    void print(GtkPrintSettings* settings, GtkPageSetup* setup, PrintCompletion completion);
    // Settings printing into a PDF at `path` through GTK's file printer (a
    // new reference).
    static GtkPrintSettings* pdfFileSettings(const std::string& path);
    std::string defaultUserAgent() const override;
    void setUserAgent(const std::string& userAgent) override;
    void setFileFolders(const std::optional<std::vector<std::string>>& folders) override;
    bool attach(const std::shared_ptr<WebViewPlacement>& placement) override;
    void detach() override;
    bool trustServerCertificate(const std::string& host) override;

    // A download WebKit began by itself, offered to the view as a response
    // it cannot show; used, it is loaded as a page.
    void offerDownload(WebKitURIResponse* response, WebKitURIRequest* request);

    // The handlers of WebKit's signals (GtkWebPageSignals.cpp).
    struct Signals;

private:
    friend struct Signals;

    std::weak_ptr<GtkWebPage> weakSelf();
    void connectSignals();
    void connectMessages();
    uint64_t holdDecision(WebKitPolicyDecision* decision);
    void publishState();
    // A web process that stops answering (a script that never ends, a
    // drawing that never finishes) is ended after this long: its load
    // fails and the next load gets a new one.
    static constexpr unsigned UnresponsiveLimitMilliseconds = 10000;
    void responsivenessChanged();
    void unresponsiveTooLong();
    void sendButton(gfx::Point point, unsigned button);
    // A try of the load waiting for its delay is cancelled: the load ends
    // here, as stopped.
    void cancelRetry();
    void dropPending();
    // Whether `load` waits for the file-folder rule (see GtkFileFolderRule).
    bool heldForRule(std::function<void()> load);

    std::shared_ptr<GtkWebEngine> m_engine;
    GtkWidget* m_window = nullptr;
    WebKitWebView* m_view = nullptr;
    WebKitUserContentManager* m_content = nullptr;
    std::shared_ptr<GtkPagePictures> m_pictures;
    std::shared_ptr<GtkFileFolderRule> m_fileRule;
    std::shared_ptr<GtkSignInQuestions> m_signIns;
    std::unique_ptr<GtkLoadRetry> m_retry;
    std::vector<unsigned long> m_viewHandlers;
    unsigned long m_messageHandler = 0;
    unsigned long m_historyHandler = 0;

    uint64_t m_nextDecision = 1;
    std::map<uint64_t, WebKitPolicyDecision*> m_decisions;
    std::map<uint64_t, core::URLRequest> m_offers;
    // Held responses the engine cannot show; one such used fails its load
    // with WebError::CannotShowMIMEType (instead of a download or a blank page).
    std::set<uint64_t> m_unshowable;
    bool m_cannotShow = false;

    // The main frame's load: begun and not finished; failed already; its
    // start heard (WebKit's own word, which may come after the network's
    // first questions); stopped by us.
    bool m_loading = false;
    bool m_failed = false;
    bool m_started = false;
    bool m_stopRequested = false;

    // The certificate the last load failed on, for its host (a reference),
    // and the ones the person trusted here, by host.
    GTlsCertificate* m_untrusted = nullptr;
    std::string m_untrustedHost;
    std::vector<std::pair<std::string, GTlsCertificate*>> m_trusted;

    gfx::Size m_size;
    float m_scale = 1;
    double m_zoom = 1;
    gfx::Size m_pixels;

    // Runs while the web process does not answer; when it fires, the
    // process is ended.
    GtkTimeout m_unresponsiveTimer;
    std::shared_ptr<WebViewPlacement> m_placement;
    uint32_t m_eventTime = 1;
    std::string m_userAgent;
};

} // namespace web
