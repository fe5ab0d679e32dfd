#pragma once

// The engine of unit tests: no display, no network. Its pages record what
// the view asks of them (loads, commands, scripts, prints, geometry) and the
// test plays the engine's part: it finishes and fails loads, starts
// navigations as a click would, hands over responses, sign-in challenges,
// dialogs and script answers. Every report reaches the view on a later pass,
// as the real engine's do. The test environment installs a fresh one per
// test (WebEngine::resetForTesting).

#include "Platform/Core/Data.h"
#include "Platform/Core/HTTPURLResponse.h"
#include "Platform/Web/AuthenticationChallenge.h"
#include "Platform/Web/WebEngine.h"
#include "Platform/Web/WebPage.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace web {

class WebView;

class RecordingWebPage : public WebPage {
public:
    struct Load {
        enum class Kind { Request, HTML, Data };
        Kind kind = Kind::Request;
        // As the app gave it; for HTML and data, a request for the base URL.
        core::URLRequest request;
        std::string html;
        core::Data data;
        std::string mimeType;
        std::string textEncodingName;
        std::string baseURL;
    };

    // The recorder of `view` (made on first use); throws when the view's
    // engine is not a recorder.
    static RecordingWebPage& of(WebView& view);

    // What the view asked.
    const std::vector<Load>& loads() const { return m_loads; }
    // "stop", "reload", "goBack", "goForward", in order.
    const std::vector<std::string>& commands() const { return m_commands; }
    std::vector<std::string> scripts() const;
    size_t unansweredScriptCount() const;
    const std::vector<std::string>& prints() const { return m_prints; }
    const std::vector<gfx::Point>& taps() const { return m_taps; }
    // Whether the page goes into a live window's placement (with no widget
    // of its own: null is handed over); by default it shows by pictures.
    void setAttachable(bool attachable) { m_attachable = attachable; }
    gfx::Size size() const { return m_size; }
    float scale() const { return m_scale; }
    double pageZoom() const { return m_zoom; }
    const std::vector<gfx::Point>& scrolls() const { return m_scrolls; }
    const std::string& userAgent() const { return m_userAgent; }
    const std::optional<std::vector<std::string>>& fileFolders() const { return m_fileFolders; }
    // The view's answer to a navigation or response (none yet: nothing).
    std::optional<bool> navigationAnswer(uint64_t decision) const;
    std::optional<bool> responseAnswer(uint64_t decision) const;
    // The last navigation put to the view.
    uint64_t lastNavigation() const { return m_nextDecision - 1; }

    // Playing the engine.
    // A navigation the page starts (a click, a form, a script, a new window).
    uint64_t navigate(const core::URLRequest& request, NavigationType type, bool newWindow = false);
    // The running load ends, with the page's title.
    void finishLoad(std::string title = {});
    void failLoad(const core::Error& error);
    // A main-frame response; an ignored one fails the load as the engine does.
    uint64_t receiveResponse(const core::HTTPURLResponse& response, const core::URLRequest& request, bool canShow);
    // A sign-in challenge; its answer shows in challengeAnswer(index).
    size_t challenge(const AuthenticationChallenge::ProtectionSpace& space, int previousFailureCount = 0,
        std::optional<AuthenticationChallenge::Credential> proposed = std::nullopt);
    std::optional<AuthenticationChallenge::Answer> challengeAnswer(size_t index) const;
    // The load ends before the challenge was answered.
    void cancelChallenge(size_t index);
    void answerScript(size_t index, std::string result);
    void failScript(size_t index, std::string message);
    void reportMetrics(const PageMetrics& metrics);
    // The page's title changes (as WebKit may tell it only after the load).
    void reportTitle(std::string title);
    void reportScriptError(const PageScriptError& error);
    void reportEditingFocus(bool editing);
    // What elementAt answers from now on.
    void setElementInfo(ElementInfo info) { m_element = std::move(info); }
    // A right click in the window.
    void rightClick(const ElementInfo& info);
    size_t showDialog(PageDialog::Kind kind, std::string message, std::string defaultText = {});
    // (confirmed, text) once answered.
    std::optional<std::pair<bool, std::string>> dialogAnswer(size_t index) const;
    void completePrint(size_t index, std::optional<core::Error> error = std::nullopt);

    // WebPage.
    void loadRequest(const core::URLRequest& request) override;
    void loadHTML(const std::string& html, const std::string& baseURL) override;
    void loadData(const core::Data& data, const std::string& mimeType, const std::string& textEncodingName,
        const std::string& baseURL) override;
    void stopLoading() override;
    bool attach(const std::shared_ptr<WebViewPlacement>& placement) override;
    void detach() override;
    void reload() override;
    // Recorded as "trust HOST"; true.
    bool trustServerCertificate(const std::string& host) override;
    void goBack() override;
    void goForward() override;
    void answerNavigation(uint64_t decision, bool allow) override;
    void answerResponse(uint64_t decision, bool use) override;
    void evaluateJavaScript(const std::string& script, ScriptCompletion completion) override;
    void setGeometry(gfx::Size size, float scale) override;
    void setPageZoom(double zoom) override { m_zoom = zoom; }
    void scrollTo(gfx::Point offset, std::function<void()> done) override;
    void tap(gfx::Point point) override { m_taps.push_back(point); }
    void elementAt(gfx::Point point, ElementCompletion completion) override;
    void updateSnapshot(std::function<void()> done) override;
    void printToPDF(const std::string& path, PrintCompletion completion) override;
    std::string defaultUserAgent() const override;
    void setUserAgent(const std::string& userAgent) override { m_userAgent = userAgent; }
    void setFileFolders(const std::optional<std::vector<std::string>>& folders) override { m_fileFolders = folders; }

private:
    struct Navigation {
        core::URLRequest request;
        NavigationType type = NavigationType::Other;
        // Where in the history it leads: -1 back, +1 forward, 0 a new entry
        // (none for reload).
        int historyStep = 0;
        bool reload = false;
        bool newWindow = false;
    };
    struct Script {
        std::string source;
        ScriptCompletion completion;
    };
    uint64_t ask(Navigation navigation);
    void load(core::URLRequest request);
    void publishState();
    void later(std::function<void()> done);

    std::vector<Load> m_loads;
    std::vector<std::string> m_commands;
    std::vector<Script> m_scripts;
    std::vector<std::string> m_prints;
    std::vector<PrintCompletion> m_printCompletions;
    std::vector<gfx::Point> m_taps;
    std::vector<gfx::Point> m_scrolls;
    gfx::Size m_size;
    float m_scale = 1;
    double m_zoom = 1;
    std::string m_userAgent;
    std::optional<std::vector<std::string>> m_fileFolders;
    ElementInfo m_element;
    bool m_attachable = false;
    std::weak_ptr<WebViewPlacement> m_placement;

    uint64_t m_nextDecision = 1;
    std::map<uint64_t, Navigation> m_pendingNavigations;
    std::map<uint64_t, bool> m_navigationAnswers;
    std::map<uint64_t, bool> m_responseAnswers;
    std::vector<std::shared_ptr<std::optional<AuthenticationChallenge::Answer>>> m_challengeAnswers;
    std::vector<std::weak_ptr<AuthenticationChallenge>> m_challenges;
    std::vector<std::shared_ptr<std::optional<std::pair<bool, std::string>>>> m_dialogAnswers;

    PageState m_state;
    std::vector<std::string> m_history;
    size_t m_historyIndex = 0;
};

class RecordingWebEngine : public WebEngine {
public:
    static std::shared_ptr<RecordingWebEngine> create() { return std::make_shared<RecordingWebEngine>(); }

    std::shared_ptr<WebPage> makePage() override;
    std::string defaultUserAgent() const override { return "RecordingWebEngine"; }
    // The pages made and still alive, oldest first.
    std::vector<std::shared_ptr<RecordingWebPage>> pages() const;

private:
    std::vector<std::weak_ptr<RecordingWebPage>> m_pages;
};

} // namespace web
