#include "Platform/Web/RecordingWebEngine.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/URL.h"
#include "Platform/Net/URLError.h"
#include "Platform/Web/WebError.h"
#include "Platform/Web/WebView.h"
#include "Platform/Web/WebViewPlacement.h"

namespace web {

namespace {

core::URLRequest requestFor(const std::string& address)
{
    auto url = core::URL::parse(address.empty() ? "about:blank" : address);
    return core::URLRequest(url.value_or(core::URL::parse("about:blank").value()));
}

} // namespace

RecordingWebPage& RecordingWebPage::of(WebView& view)
{
    auto* page = dynamic_cast<RecordingWebPage*>(&view.page());
    if (!page)
        throw core::Exception(core::Exception::InternalInconsistency,
            "RecordingWebPage::of: the web view's engine is not a recorder");
    return *page;
}

bool RecordingWebPage::attach(const std::shared_ptr<WebViewPlacement>& placement)
{
    if (!m_attachable)
        return false;
    m_placement = placement;
    placement->attach(nullptr);
    return true;
}

void RecordingWebPage::detach()
{
    if (auto placement = m_placement.lock())
        placement->detach(nullptr);
    m_placement.reset();
}

std::vector<std::string> RecordingWebPage::scripts() const
{
    std::vector<std::string> sources;
    for (const auto& script : m_scripts)
        sources.push_back(script.source);
    return sources;
}

size_t RecordingWebPage::unansweredScriptCount() const
{
    size_t count = 0;
    for (const auto& script : m_scripts)
        count += script.completion ? 1 : 0;
    return count;
}

std::optional<bool> RecordingWebPage::navigationAnswer(uint64_t decision) const
{
    auto it = m_navigationAnswers.find(decision);
    return it == m_navigationAnswers.end() ? std::nullopt : std::optional<bool>(it->second);
}

std::optional<bool> RecordingWebPage::responseAnswer(uint64_t decision) const
{
    auto it = m_responseAnswers.find(decision);
    return it == m_responseAnswers.end() ? std::nullopt : std::optional<bool>(it->second);
}

void RecordingWebPage::later(std::function<void()> done)
{
    if (done)
        core::RunLoop::main().post(std::move(done));
}

void RecordingWebPage::publishState()
{
    m_state.canGoBack = m_historyIndex > 0;
    m_state.canGoForward = m_historyIndex + 1 < m_history.size();
    deliver([state = m_state](WebPageClient& client) { client.pageStateChanged(state); });
}

uint64_t RecordingWebPage::ask(Navigation navigation)
{
    uint64_t decision = m_nextDecision++;
    PageNavigation question { decision, navigation.request, navigation.type, false, navigation.newWindow };
    m_pendingNavigations[decision] = std::move(navigation);
    deliver([question](WebPageClient& client) { client.pageNavigation(question); });
    return decision;
}

void RecordingWebPage::loadRequest(const core::URLRequest& request)
{
    m_loads.push_back({ Load::Kind::Request, request, {}, {}, {}, {}, {} });
    ask({ request, NavigationType::Other });
}

void RecordingWebPage::loadHTML(const std::string& html, const std::string& baseURL)
{
    Load load { Load::Kind::HTML, requestFor(baseURL), html, {}, "text/html", "UTF-8", baseURL };
    m_loads.push_back(load);
    ask({ load.request, NavigationType::Other });
}

void RecordingWebPage::loadData(const core::Data& data, const std::string& mimeType,
    const std::string& textEncodingName, const std::string& baseURL)
{
    Load load { Load::Kind::Data, requestFor(baseURL), {}, data, mimeType, textEncodingName, baseURL };
    m_loads.push_back(load);
    ask({ load.request, NavigationType::Other });
}

void RecordingWebPage::stopLoading()
{
    m_commands.push_back("stop");
    if (m_state.loading)
        failLoad(net::URLError::make(net::URLError::Cancelled, requestFor(m_state.url).url()));
}

bool RecordingWebPage::trustServerCertificate(const std::string& host)
{
    m_commands.push_back("trust " + host);
    return true;
}

void RecordingWebPage::reload()
{
    m_commands.push_back("reload");
    if (!m_history.empty())
        ask({ requestFor(m_history[m_historyIndex]), NavigationType::Reload, 0, true });
}

void RecordingWebPage::goBack()
{
    m_commands.push_back("goBack");
    if (m_historyIndex > 0)
        ask({ requestFor(m_history[m_historyIndex - 1]), NavigationType::BackForward, -1 });
}

void RecordingWebPage::goForward()
{
    m_commands.push_back("goForward");
    if (m_historyIndex + 1 < m_history.size())
        ask({ requestFor(m_history[m_historyIndex + 1]), NavigationType::BackForward, 1 });
}

uint64_t RecordingWebPage::navigate(const core::URLRequest& request, NavigationType type, bool newWindow)
{
    return ask({ request, type, 0, false, newWindow });
}

void RecordingWebPage::answerNavigation(uint64_t decision, bool allow)
{
    auto it = m_pendingNavigations.find(decision);
    if (it == m_pendingNavigations.end())
        return;
    Navigation navigation = std::move(it->second);
    m_pendingNavigations.erase(it);
    m_navigationAnswers[decision] = allow;
    if (!allow || navigation.newWindow)
        return;
    const std::string address = navigation.request.url().absoluteString();
    if (navigation.historyStep != 0) {
        m_historyIndex = size_t(int(m_historyIndex) + navigation.historyStep);
    } else if (!navigation.reload) {
        if (!m_history.empty())
            m_history.resize(m_historyIndex + 1);
        m_history.push_back(address);
        m_historyIndex = m_history.size() - 1;
    }
    m_state.url = address;
    m_state.loading = true;
    m_state.progress = 0.1;
    deliver([address](WebPageClient& client) { client.pageDidStartLoad(address); });
    publishState();
}

void RecordingWebPage::finishLoad(std::string title)
{
    m_state.loading = false;
    m_state.progress = 1;
    m_state.title = std::move(title);
    publishState();
    deliver([](WebPageClient& client) { client.pageDidFinishLoad(); });
}

void RecordingWebPage::reportTitle(std::string title)
{
    m_state.title = std::move(title);
    publishState();
}

void RecordingWebPage::failLoad(const core::Error& error)
{
    m_state.loading = false;
    m_state.progress = 1;
    publishState();
    deliver([error](WebPageClient& client) { client.pageDidFailLoad(error); });
}

uint64_t RecordingWebPage::receiveResponse(const core::HTTPURLResponse& response, const core::URLRequest& request,
    bool canShow)
{
    uint64_t decision = m_nextDecision++;
    PageResponse question { decision, response, request, canShow };
    deliver([question](WebPageClient& client) { client.pageResponse(question); });
    return decision;
}

void RecordingWebPage::answerResponse(uint64_t decision, bool use)
{
    if (m_responseAnswers.count(decision))
        return;
    m_responseAnswers[decision] = use;
    if (!use && m_state.loading)
        failLoad(WebError::make(WebError::FrameLoadInterruptedByPolicyChange, requestFor(m_state.url).url()));
}

size_t RecordingWebPage::challenge(const AuthenticationChallenge::ProtectionSpace& space, int previousFailureCount,
    std::optional<AuthenticationChallenge::Credential> proposed)
{
    auto answer = std::make_shared<std::optional<AuthenticationChallenge::Answer>>();
    auto challenge = std::make_shared<AuthenticationChallenge>(space, previousFailureCount, std::move(proposed),
        [answer](const AuthenticationChallenge::Answer& given) { *answer = given; });
    m_challengeAnswers.push_back(answer);
    m_challenges.push_back(challenge);
    deliver([challenge](WebPageClient& client) { client.pageChallenge(challenge); });
    return m_challenges.size() - 1;
}

std::optional<AuthenticationChallenge::Answer> RecordingWebPage::challengeAnswer(size_t index) const
{
    return index < m_challengeAnswers.size() ? *m_challengeAnswers[index] : std::nullopt;
}

void RecordingWebPage::cancelChallenge(size_t index)
{
    if (index >= m_challenges.size())
        return;
    if (auto challenge = m_challenges[index].lock()) {
        challenge->loadDidEnd();
        deliver([challenge](WebPageClient& client) { client.pageChallengeCancelled(challenge); });
    }
}

void RecordingWebPage::evaluateJavaScript(const std::string& script, ScriptCompletion completion)
{
    m_scripts.push_back({ script, std::move(completion) });
}

void RecordingWebPage::answerScript(size_t index, std::string result)
{
    if (index >= m_scripts.size() || !m_scripts[index].completion)
        return;
    later([completion = std::exchange(m_scripts[index].completion, nullptr), result = std::move(result)] {
        completion(result, nullptr);
    });
}

void RecordingWebPage::failScript(size_t index, std::string message)
{
    if (index >= m_scripts.size() || !m_scripts[index].completion)
        return;
    later([completion = std::exchange(m_scripts[index].completion, nullptr), message = std::move(message)] {
        auto error = WebError::scriptException(message);
        completion({}, &error);
    });
}

void RecordingWebPage::reportMetrics(const PageMetrics& metrics)
{
    deliver([metrics](WebPageClient& client) { client.pageMetrics(metrics); });
}

void RecordingWebPage::reportScriptError(const PageScriptError& error)
{
    deliver([error](WebPageClient& client) { client.pageScriptError(error); });
}

void RecordingWebPage::reportEditingFocus(bool editing)
{
    deliver([editing](WebPageClient& client) { client.pageEditingFocus(editing); });
}

void RecordingWebPage::rightClick(const ElementInfo& info)
{
    deliver([info](WebPageClient& client) { client.pageElementActions(info); });
}

size_t RecordingWebPage::showDialog(PageDialog::Kind kind, std::string message, std::string defaultText)
{
    auto answer = std::make_shared<std::optional<std::pair<bool, std::string>>>();
    m_dialogAnswers.push_back(answer);
    PageDialog dialog { kind, std::move(message), std::move(defaultText),
        [answer](bool confirmed, const std::string& text) { *answer = std::make_pair(confirmed, text); } };
    deliver([dialog = std::move(dialog)](WebPageClient& client) mutable { client.pageDialog(std::move(dialog)); });
    return m_dialogAnswers.size() - 1;
}

std::optional<std::pair<bool, std::string>> RecordingWebPage::dialogAnswer(size_t index) const
{
    return index < m_dialogAnswers.size() ? *m_dialogAnswers[index] : std::nullopt;
}

void RecordingWebPage::setGeometry(gfx::Size size, float scale)
{
    m_size = size;
    m_scale = scale;
}

void RecordingWebPage::scrollTo(gfx::Point offset, std::function<void()> done)
{
    m_scrolls.push_back(offset);
    later(std::move(done));
}

void RecordingWebPage::elementAt(gfx::Point point, ElementCompletion completion)
{
    (void)point;
    later([completion = std::move(completion), info = m_element] { completion(info); });
}

void RecordingWebPage::updateSnapshot(std::function<void()> done)
{
    later(std::move(done));
}

void RecordingWebPage::printToPDF(const std::string& path, PrintCompletion completion)
{
    m_prints.push_back(path);
    m_printCompletions.push_back(std::move(completion));
}

void RecordingWebPage::completePrint(size_t index, std::optional<core::Error> error)
{
    if (index >= m_printCompletions.size() || !m_printCompletions[index])
        return;
    later([completion = std::exchange(m_printCompletions[index], nullptr), error] {
        completion(error ? &*error : nullptr);
    });
}

std::string RecordingWebPage::defaultUserAgent() const
{
    return "RecordingWebEngine";
}

std::shared_ptr<WebPage> RecordingWebEngine::makePage()
{
    auto page = std::make_shared<RecordingWebPage>();
    std::erase_if(m_pages, [](const auto& weak) { return weak.expired(); });
    m_pages.push_back(page);
    return page;
}

std::vector<std::shared_ptr<RecordingWebPage>> RecordingWebEngine::pages() const
{
    std::vector<std::shared_ptr<RecordingWebPage>> alive;
    for (const auto& weak : m_pages)
        if (auto page = weak.lock())
            alive.push_back(page);
    return alive;
}

} // namespace web
