#include "Kit/XML/CXMLNamespace.h"

#include "Kit/XML/CXMLDocument.h"

#include <fmt/format.h>
#include <libxml/tree.h>

CXMLNamespace::CXMLNamespace(xmlNs* ns, CXMLDocument* document)
    : m_ns(ns)
    , m_document(document)
{
    ns->_private = this;
}

CXMLNamespace::~CXMLNamespace()
{
    if (m_ns && m_ns->_private == this)
        m_ns->_private = nullptr;
}

std::shared_ptr<CXMLNamespace> CXMLNamespace::namespaceWithLibXMLNs(xmlNs* ns, CXMLDocument* document)
{
    if (!ns)
        return nullptr;
    if (ns->_private)
        return static_cast<CXMLNamespace*>(ns->_private)->sharedAs<CXMLNamespace>();
    std::shared_ptr<CXMLNamespace> handle(new CXMLNamespace(ns, document));
    if (document)
        document->addToPool(handle);
    return handle;
}

std::string CXMLNamespace::description() const
{
    std::string prefix = this->prefix();
    std::string uri = URI().value_or("");
    if (prefix.empty())
        return fmt::format("xmlns=\"{}\"", uri);
    return fmt::format("xmlns:{}=\"{}\"", prefix, uri);
}

std::string CXMLNamespace::prefix() const
{
    if (!m_ns || !m_ns->prefix)
        return {};
    return CXMLNode::stringWithXMLChar(m_ns->prefix).value_or("");
}

std::optional<std::string> CXMLNamespace::URI() const
{
    return m_ns ? CXMLNode::stringWithXMLChar(m_ns->href) : std::nullopt;
}

int CXMLNamespace::type() const
{
    return m_ns ? static_cast<int>(m_ns->type) : 0;
}

std::shared_ptr<CXMLNamespace> CXMLNamespace::next() const
{
    return m_ns ? namespaceWithLibXMLNs(m_ns->next, m_document) : nullptr;
}
