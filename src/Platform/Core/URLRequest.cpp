#include "Platform/Core/URLRequest.h"

#include "Platform/Core/ASCII.h"

#include <algorithm>

namespace core {

URLRequest::URLRequest(URL url, CachePolicy cachePolicy, double timeoutInterval)
    : m_url(std::move(url))
    , m_timeoutInterval(timeoutInterval)
    , m_cachePolicy(cachePolicy)
{
}

bool URLRequest::setMethod(std::string_view method)
{
    // A method is a token, as a header name is.
    if (!HeaderFields::isValidName(method))
        return false;
    m_method = method;
    return true;
}

void URLRequest::setBody(Data body)
{
    m_body = std::move(body);
    m_bodyFilePath.clear();
}

void URLRequest::setBodyFilePath(std::string path)
{
    m_bodyFilePath = std::move(path);
    m_body = Data();
}

void URLRequest::setProperty(const std::string& key, Value value)
{
    auto& properties = m_properties.mutableDictionary();
    if (value.isNull())
        properties.erase(key);
    else
        properties[key] = std::move(value);
}

bool URLRequest::operator==(const URLRequest& other) const
{
    if (!(m_url == other.m_url) || m_method != other.m_method || !(m_body == other.m_body)
        || m_bodyFilePath != other.m_bodyFilePath)
        return false;
    const auto& mine = m_headers.fields();
    const auto& theirs = other.m_headers.fields();
    return std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end(), [](const auto& a, const auto& b) {
        return ascii::equalIgnoringCase(a.first, b.first) && a.second == b.second;
    });
}

} // namespace core
