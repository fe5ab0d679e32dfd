#include "Platform/Web/WebNavigationRequests.h"

namespace web {

void WebNavigationRequests::appLoads(std::string address, const core::URLRequest& request, bool approved)
{
    if (approved) {
        m_appRequest.reset();
        m_approved = std::make_pair(std::move(address), request);
    } else {
        m_approved.reset();
        m_appRequest = std::make_pair(std::move(address), request);
    }
}

std::pair<core::URLRequest, bool> WebNavigationRequests::requestFor(const PageNavigation& navigation)
{
    const std::string address = navigation.request.url().absoluteString();
    if (!navigation.isNewWindow && !navigation.isRedirect && navigation.type == NavigationType::Other) {
        if (m_approved && m_approved->first == address) {
            core::URLRequest request = std::move(m_approved->second);
            m_approved.reset();
            return { std::move(request), true };
        }
        if (m_appRequest && m_appRequest->first == address) {
            core::URLRequest request = std::move(m_appRequest->second);
            m_appRequest.reset();
            return { std::move(request), false };
        }
    }
    return { navigation.request, false };
}

void WebNavigationRequests::take(const std::string& url)
{
    auto allowed = m_allowed.find(url);
    if (allowed != m_allowed.end()) {
        m_request = allowed->second;
        m_allowed.erase(allowed);
    } else if (auto parsed = core::URL::parse(url)) {
        m_request = core::URLRequest(*parsed);
    }
}

bool WebNavigationRequests::loadStarted(const std::string& url)
{
    take(url);
    if (m_loadActive)
        return false; // a redirect of the running load
    m_loadActive = true;
    return true;
}

bool WebNavigationRequests::loadEnded()
{
    if (!std::exchange(m_loadActive, false))
        return false;
    m_allowed.clear();
    return true;
}

void WebNavigationRequests::stopLoad()
{
    m_loadActive = false;
    m_allowed.clear();
}

void WebNavigationRequests::pageAddressChanged(const std::string& url,
    const std::function<std::string(const std::string&)>& normalized)
{
    // WebKit may name a link's address only once the load is under way: the
    // request follows the page's address (the app's own request, properties
    // kept, when it is that address).
    if (m_loadActive && !url.empty() && (!m_request || normalized(m_request->url().absoluteString()) != url))
        take(url);
}

} // namespace web
