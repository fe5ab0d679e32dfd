#include "App/Analytics/VKBasicAnalytics.h"

#include "App/Analytics/POSTURLRequest.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/Net/URLConnection.h"

#include <fmt/format.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace {

constexpr size_t MaximumHostLength = 253;
constexpr size_t MaximumLabelLength = 63;

struct Record {
    std::unique_ptr<std::once_flag> once = std::make_unique<std::once_flag>();
    core::Value info;
    VKBasicAnalytics::SystemInfoHook hook;
};

Record& record()
{
    static Record shared;
    return shared;
}

std::string orNull(const std::optional<std::string>& value)
{
    return value.value_or("(null)");
}

bool isDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool isHostName(std::string_view host)
{
    if (host.empty() || host.size() > MaximumHostLength)
        return false;
    size_t start = 0;
    while (start <= host.size()) {
        size_t dot = host.find('.', start);
        std::string_view label = host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (label.empty() || label.size() > MaximumLabelLength || label.front() == '-' || label.back() == '-')
            return false;
        if (!std::all_of(label.begin(), label.end(), [](unsigned char c) { return std::isalnum(c) || c == '-'; }))
            return false;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return true;
}

// A host name, an IPv4 address or a bracketed IPv6 address, with an optional
// port 1–65535: nothing that could add a path, a user or a second URL.
bool isHostAndPort(std::string_view text)
{
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos)
            return false;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && (!rest.starts_with(':') || (port = rest.substr(1)).empty()))
            return false;
        in6_addr address;
        if (inet_pton(AF_INET6, std::string(host).c_str(), &address) != 1)
            return false;
    } else {
        if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty())
                return false;
        }
        if (!isHostName(host))
            return false;
    }
    if (port.empty())
        return true;
    return isDigits(port) && port.size() <= 5 && std::stoi(std::string(port)) >= 1 && std::stoi(std::string(port)) <= 65535;
}

core::Value buildInfo()
{
    auto device = core::Device::current();
    auto bundle = core::Bundle::main();
    auto info = [&](const char* key) { return bundle->objectForInfoDictionaryKey(key).toString(); };
    return core::Value::makeDictionary({
        { "uniqueIdentifier", core::Value(device->uniqueIdentifier()) },
        { "systemVersion", core::Value(fmt::format("{} v{}", device->systemName(), device->systemVersion())) },
        { "hardwareVersion",
            core::Value(fmt::format("{} ({})", orNull(VKBasicAnalytics::systemInfoForName("hw.machine")),
                orNull(VKBasicAnalytics::systemInfoForName("hw.model")))) },
        { "appVersion",
            core::Value(fmt::format("{} v{} ({})", info("CFBundleDisplayName"), info("CFBundleVersion"), info("VKBuildNumber"))) },
    });
}

} // namespace

core::Value VKBasicAnalytics::basicAnalyticsInfo()
{
    auto& shared = record();
    std::call_once(*shared.once, [&shared] { shared.info = buildInfo(); });
    return shared.info;
}

std::optional<std::string> VKBasicAnalytics::systemInfoForName(std::string_view name)
{
    if (const auto& hook = record().hook)
        return hook(name);
    return core::Device::current()->systemInfo(name);
}

void VKBasicAnalytics::setSystemInfoHookForTesting(SystemInfoHook hook)
{
    auto& shared = record();
    shared.hook = std::move(hook);
    shared.info = {};
    shared.once = std::make_unique<std::once_flag>();
}

std::optional<core::URL> VKBasicAnalytics::reportURL()
{
    core::Value host = core::UserDefaults::standard()->object(HostKey);
    if (!host.isString())
        host = core::Bundle::main()->objectForInfoDictionaryKey(HostKey);
    const std::string text = host.isString() ? host.string() : std::string();
    if (text.empty()) {
        core::log("VKBasicAnalytics: no report host is configured; no usage report is sent");
        return std::nullopt;
    }
    auto url = isHostAndPort(text) ? core::URL::parse("http://" + text + ReportPath) : std::nullopt;
    if (!url)
        core::log("Warning, VKBasicAnalytics: the report host is not a host[:port]; no usage report is sent");
    return url;
}

void VKBasicAnalytics::sendBasicAnalytics()
{
    auto url = reportURL();
    if (!url)
        return;
    core::log("Sending the usage report to {}", url->absoluteString());
    net::URLConnection::create(POSTURLRequest(*url, basicAnalyticsInfo()));
}
