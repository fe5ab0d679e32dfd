#include "DropboxSDK/MPOAuth/MPURLParameterAdditions.h"

#include <fmt/format.h>

namespace {

// The URL made from text built of the URL's own parts and escaped pairs,
// which always parses; the original stands in should it not.
core::URL urlFromText(const std::string& text, const core::URL& fallback)
{
    auto url = core::URL::parse(text);
    return url ? *url : fallback;
}

std::string_view beforeQuery(const std::string& text)
{
    return std::string_view(text).substr(0, text.find('?'));
}

std::string_view afterQuery(const std::string& text)
{
    size_t mark = text.find('?');
    return mark == std::string::npos ? std::string_view() : std::string_view(text).substr(mark + 1);
}

} // namespace

std::string absoluteNormalizedString(const core::URL& url)
{
    const std::string& text = url.absoluteString();
    if (url.escapedPath().empty() && !url.hasQuery())
        return fmt::format("{}/", text);
    return text;
}

core::URL urlByRemovingQuery(const core::URL& url)
{
    const std::string& text = url.absoluteString();
    if (text.find('?') == std::string::npos)
        return url;
    return urlFromText(std::string(beforeQuery(text)), url);
}

core::URL urlByAddingParameters(const core::URL& url, const MPURLRequestParameter::List& parameters)
{
    const std::string& text = url.absoluteString();
    MPURLRequestParameter::List all;
    if (text.find('?') != std::string::npos)
        all = MPURLRequestParameter::parametersFromString(afterQuery(text));
    all.insert(all.end(), parameters.begin(), parameters.end());
    return urlFromText(fmt::format("{}?{}", beforeQuery(text), MPURLRequestParameter::parameterStringForParameters(all)), url);
}

core::URL urlByAddingParameterDictionary(const core::URL& url, const core::Value::Dictionary& parameters)
{
    const std::string& text = url.absoluteString();
    bool hasQuery = text.find('?') != std::string::npos;
    if (!hasQuery && parameters.empty())
        return url;
    core::Value::Dictionary all = parameters;
    if (hasQuery) {
        for (auto& [name, value] : MPURLRequestParameter::parameterDictionaryFromString(afterQuery(text)))
            all.insert_or_assign(name, std::move(value));
    }
    return urlFromText(fmt::format("{}?{}", beforeQuery(text), MPURLRequestParameter::parameterStringForDictionary(all)), url);
}
