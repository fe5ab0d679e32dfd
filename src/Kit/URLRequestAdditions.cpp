#include "Kit/URLRequestAdditions.h"

#include "Kit/URLResponseAdditions.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/Path.h"
#include "Platform/Core/PercentEscape.h"

#include <algorithm>

namespace {

// A download must land inside its folder, whatever the page or the peer
// named it.
std::string plainName(std::string_view name)
{
    std::string text(name);
    std::erase(text, '\0');
    size_t slash = text.rfind('/');
    if (slash != std::string::npos)
        text.erase(0, slash + 1);
    if (text.empty() || text == "." || text == "..")
        return core::localized("Unknown");
    return text;
}

bool isDataScheme(const core::URL& url)
{
    std::string scheme = url.scheme();
    return scheme.size() == 4 && std::equal(scheme.begin(), scheme.end(), "data",
               [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + 32 : a) == b; });
}

} // namespace

std::string suggestedFilename(const core::URLRequest& request)
{
    const core::Value& stored = request.property(VKSuggestedFilenameRequestProperty);
    if (stored.isString())
        return plainName(stored.string());
    if (isDataScheme(request.url()))
        return "data";
    std::string component = core::path::lastPathComponent(request.url().escapedPath());
    return plainName(core::percentUnescape(component).value_or(std::string()));
}

void setSuggestedFilename(core::URLRequest& request, std::string_view name)
{
    request.setProperty(VKSuggestedFilenameRequestProperty, core::Value(name));
}

std::string archivedRequest(const core::URLRequest& request)
{
    core::Value archive = core::Value::makeDictionary({
        { "URL", core::Value(request.url().absoluteString()) },
        { "Method", core::Value(request.method()) },
        { "Headers", archivedHeaderFields(request.headers()) },
        { "TimeoutInterval", core::Value(request.timeoutInterval()) },
        { "CachePolicy", core::Value(static_cast<int>(request.cachePolicy())) },
        { "Properties", request.properties() },
    });
    auto& fields = archive.mutableDictionary();
    if (!request.body().empty())
        fields["Body"] = core::Value(request.body());
    if (!request.bodyFilePath().empty())
        fields["BodyFilePath"] = core::Value(request.bodyFilePath());
    return core::PropertyList::write(archive, core::PropertyList::Format::Binary).value_or(std::string());
}

std::optional<core::URLRequest> unarchivedRequest(std::string_view bytes)
{
    core::Value archive = core::PropertyList::read(bytes);
    if (!archive.isDictionary() || !archive["URL"].isString())
        return std::nullopt;
    auto url = core::URL::parse(archive["URL"].string());
    auto headers = unarchivedHeaderFields(archive["Headers"]);
    if (!url || !headers)
        return std::nullopt;
    core::URLRequest request(*url);
    if (archive["Method"].isString() && !request.setMethod(archive["Method"].string()))
        return std::nullopt;
    for (const auto& [name, value] : headers->fields())
        request.addHeader(name, value);
    const core::Value& timeout = archive["TimeoutInterval"];
    if (timeout.isReal() || timeout.isInteger())
        request.setTimeoutInterval(timeout.isReal() ? timeout.real() : static_cast<double>(timeout.integer()));
    const core::Value& policy = archive["CachePolicy"];
    if (policy.isInteger() && policy.integer() >= 0 && policy.integer() <= 3)
        request.setCachePolicy(static_cast<core::URLRequest::CachePolicy>(policy.integer()));
    if (archive["Body"].isData())
        request.setBody(archive["Body"].data());
    else if (archive["BodyFilePath"].isString())
        request.setBodyFilePath(archive["BodyFilePath"].string());
    if (archive["Properties"].isDictionary())
        for (const auto& [key, value] : archive["Properties"].dictionary())
            request.setProperty(key, value);
    return request;
}
