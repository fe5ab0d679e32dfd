#include "WebDAV/WebDAVPropertyName.h"

#include "Kit/XML/CXMLNode.h"
#include "WebDAV/WebDAVResource.h"

std::shared_ptr<WebDAVPropertyName> WebDAVPropertyName::propertyNameWithName(std::string name)
{
    return std::shared_ptr<WebDAVPropertyName>(new WebDAVPropertyName(std::move(name)));
}

std::shared_ptr<WebDAVPropertyName> WebDAVPropertyName::propertyNameWithElement(const CXMLNode& element)
{
    std::string local = element.localName();
    std::string uri = element.URI().value_or("");
    if (uri == "DAV:" && WebDAVResource::isLivePropertyName(local))
        return propertyNameWithName(std::move(local));
    return propertyNameWithName(deadPropertyNameFor(uri, local));
}

std::string WebDAVPropertyName::deadPropertyNameFor(std::string_view namespaceURI, std::string_view localName)
{
    std::string name(DeadPropertyPrefix);
    name += '{';
    name += namespaceURI;
    name += '}';
    name += localName;
    return name;
}

bool WebDAVPropertyName::isValidDeadPropertyName(std::string_view name)
{
    if (!name.starts_with(DeadPropertyPrefix) || name.size() <= DeadPropertyPrefix.size() + 2)
        return false;
    size_t open = name.find('{');
    if (open != DeadPropertyPrefix.size())
        return false;
    size_t close = name.find('}');
    return close != std::string_view::npos && close > open;
}

bool WebDAVPropertyName::isDead() const
{
    return std::string_view(m_name).starts_with(DeadPropertyPrefix);
}

std::string WebDAVPropertyName::URI() const
{
    if (!isDead())
        return "DAV:";
    size_t open = DeadPropertyPrefix.size();
    size_t close = m_name.find('}', open);
    if (open >= m_name.size() || m_name[open] != '{' || close == std::string::npos)
        return {};
    return m_name.substr(open + 1, close - open - 1);
}

std::string WebDAVPropertyName::localName() const
{
    if (!isDead())
        return m_name;
    size_t close = m_name.find('}', DeadPropertyPrefix.size());
    return close == std::string::npos ? std::string() : m_name.substr(close + 1);
}

bool WebDAVPropertyName::isEqual(const core::Object& other) const
{
    auto* name = dynamic_cast<const WebDAVPropertyName*>(&other);
    return name && name->m_name == m_name;
}

size_t WebDAVPropertyName::hash() const
{
    return std::hash<std::string>()(m_name);
}
