#include "WebBrowser/VKWebVisits.h"

#include "Kit/DateAdditions.h"
#include "Platform/Core/ASCII.h"
#include "WebBrowser/VKWebHistory.h"

namespace {

bool isNotFound(const std::string& title)
{
    return core::ascii::equalIgnoringCase(title, "404 not found");
}

} // namespace

void VKWebVisits::loadEnded(const std::optional<core::URL>& url, const std::string& title, bool success)
{
    if (success && url && !isNotFound(title))
        VKWebHistory::sharedWebHistory()->addURL(*url, title);
    m_endedURL = url;
    m_endedWell = success;
}

void VKWebVisits::titleChanged(const std::string& title)
{
    if (!m_endedURL || !m_endedWell)
        return;
    auto history = VKWebHistory::sharedWebHistory();
    if (!isNotFound(title)) {
        history->addURL(*m_endedURL, title);
        return;
    }
    core::Date midnight = dateAtMidnightToday();
    for (const auto& item : history->allItems())
        if (item.URL == m_endedURL->absoluteString() && !(item.date < midnight))
            history->removeItem(item);
}
