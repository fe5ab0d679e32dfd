#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethod.h"

#include "DropboxSDK/MPOAuth/MPOAuthAPI.h"
#include "DropboxSDK/MPOAuth/MPOAuthAuthenticationMethodOAuth.h"
#include "Platform/Core/ASCII.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"

#include <algorithm>
#include <functional>
#include <map>

namespace {

using Factory = std::function<std::shared_ptr<MPOAuthAuthenticationMethod>(
    const std::shared_ptr<MPOAuthAPI>&, const core::Value& settings)>;

// The method classes a configuration may name.
const std::map<std::string, Factory, std::less<>>& methodClasses()
{
    static const std::map<std::string, Factory, std::less<>> classes {
        { "MPOAuthAuthenticationMethodOAuth", [](const std::shared_ptr<MPOAuthAPI>& api, const core::Value& settings) {
             return std::static_pointer_cast<MPOAuthAuthenticationMethod>(MPOAuthAuthenticationMethodOAuth::initWithAPI(api, settings));
         } },
    };
    return classes;
}

bool isIPv4Address(std::string_view host)
{
    int parts = 0;
    while (true) {
        size_t dot = host.find('.');
        std::string_view part = host.substr(0, dot);
        if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        if (std::stoi(std::string(part)) > 254)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        host.remove_prefix(dot + 1);
    }
    return parts == 4;
}

core::Value autoConfiguration()
{
    std::string path = core::Bundle::main()->pathForResource("oauthAutoConfig", "plist");
    if (path.empty())
        return {};
    core::Error error;
    core::Value configuration = core::PropertyList::readFile(path, &error);
    if (!configuration.isDictionary()) {
        core::log("MPOAuthAuthenticationMethod: cannot read oauthAutoConfig: {}", error.localizedDescription());
        return {};
    }
    return configuration;
}

} // namespace

bool domainMatches(std::string_view host, std::string_view domain)
{
    if (domain.empty() || host.empty())
        return false;
    if (isIPv4Address(host))
        return host == domain;
    if (host.size() > domain.size())
        return core::ascii::equalIgnoringCase(host.substr(host.size() - domain.size()), domain);
    if (host.size() + 1 == domain.size())
        return core::ascii::equalIgnoringCase(host, domain.substr(1));
    return host.size() == domain.size() && core::ascii::equalIgnoringCase(host, domain);
}

MPOAuthAuthenticationMethod::MPOAuthAuthenticationMethod(const std::shared_ptr<MPOAuthAPI>& api)
    : m_oauthAPI(api)
{
}

MPOAuthAuthenticationMethod::~MPOAuthAuthenticationMethod()
{
    if (m_refreshTimer)
        m_refreshTimer->invalidate();
}

std::shared_ptr<MPOAuthAuthenticationMethod> MPOAuthAuthenticationMethod::initWithAPI(
    const std::shared_ptr<MPOAuthAPI>& api, const core::URL& url)
{
    core::Value configuration = autoConfiguration();
    std::string host = url.host();
    if (configuration.isDictionary()) {
        for (const auto& [domain, entry] : configuration.dictionary()) {
            if (!domainMatches(host, domain))
                continue;
            const core::Value& preferred = entry["MPOAuthAuthenticationPreferredMethods"];
            for (const auto& name : preferred.isArray() ? preferred.array() : core::Value::Array()) {
                if (!name.isString())
                    continue;
                auto found = methodClasses().find(name.string());
                if (found != methodClasses().end())
                    return found->second(api, entry[name.string()]);
            }
            break;
        }
    }
    return MPOAuthAuthenticationMethodOAuth::initWithAPI(api, core::Value());
}

void MPOAuthAuthenticationMethod::setRefreshInterval(std::optional<double> interval)
{
    if (m_refreshTimer && interval && m_refreshTimer->isValid() && m_refreshTimer->timeInterval() == *interval)
        return;
    if (m_refreshTimer) {
        m_refreshTimer->invalidate();
        m_refreshTimer.reset();
    }
    if (!interval || !(*interval > 0))
        return;
    m_refreshTimer = core::RunLoop::current().schedule(std::static_pointer_cast<MPOAuthAuthenticationMethod>(shared_from_this()), *interval, true, [](MPOAuthAuthenticationMethod& self, core::Timer&) {
        self.refreshAccessToken();
    }, core::RunLoop::CommonModes);
}
