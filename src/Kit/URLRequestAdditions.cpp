#include "Kit/URLRequestAdditions.h"

#include "Platform/Core/Localized.h"
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
