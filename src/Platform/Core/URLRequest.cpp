#include "Platform/Core/URLRequest.h"

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

} // namespace core
