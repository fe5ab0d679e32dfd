#include "Kit/XML/CXMLElement.h"

#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLNamespace.h"

#include <cstring>
#include <libxml/tree.h>

namespace {

const xmlChar* elementXmlText(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

bool equals(const xmlChar* text, std::string_view expected)
{
    return text && std::string_view(reinterpret_cast<const char*>(text)) == expected;
}

} // namespace

std::shared_ptr<CXMLNamespace> CXMLElement::addNamespaceURI(std::string_view URI, std::optional<std::string_view> prefix)
{
    if (!m_node)
        return nullptr;
    std::string uri(URI);
    std::string prefixText(prefix.value_or(""));
    xmlNs* ns = xmlNewNs(m_node, elementXmlText(uri), prefix && !prefix->empty() ? elementXmlText(prefixText) : nullptr);
    return CXMLNamespace::namespaceWithLibXMLNs(ns, owningDocument());
}

std::shared_ptr<CXMLNode> CXMLElement::addAttributeWithName(std::string_view name, std::string_view value,
    const std::shared_ptr<CXMLNamespace>& ns)
{
    if (!m_node)
        return nullptr;
    std::string nameText(name);
    std::string valueText(value);
    xmlNs* record = ns ? ns->libxmlNs() : nullptr;
    // An attribute of the same name is given the new value rather than
    // written twice; its old text goes.
    if (xmlAttr* existing = xmlHasNsProp(m_node, elementXmlText(nameText), record ? record->href : nullptr)) {
        if (existing->type == XML_ATTRIBUTE_NODE) {
            for (xmlNode* text = existing->children; text; text = text->next)
                forgetSubtree(text);
        }
    }
    xmlAttr* attribute = xmlSetNsProp(m_node, record, elementXmlText(nameText), elementXmlText(valueText));
    return nodeWithLibXMLNode(reinterpret_cast<xmlNode*>(attribute));
}

std::shared_ptr<CXMLNode> CXMLElement::addAttributeWithName(std::string_view name, std::string_view value)
{
    return addAttributeWithName(name, value, nullptr);
}

std::shared_ptr<CXMLNamespace> CXMLElement::resolveNamespaceForName(std::string_view name) const
{
    if (!m_node)
        return nullptr;
    std::string prefix = prefixForName(name);
    xmlNs* ns = xmlSearchNs(m_node->doc, m_node, prefix.empty() ? nullptr : elementXmlText(prefix));
    return CXMLNamespace::namespaceWithLibXMLNs(ns, owningDocument());
}

std::optional<CXMLElement::NamespaceList> CXMLElement::namespaces() const
{
    if (!m_node || !m_node->nsDef)
        return std::nullopt;
    NamespaceList list;
    for (xmlNs* ns = m_node->nsDef; ns; ns = ns->next)
        list.push_back(CXMLNamespace::namespaceWithLibXMLNs(ns, owningDocument()));
    return list;
}

CXMLNode::NodeList CXMLElement::attributes() const
{
    NodeList list;
    if (!m_node)
        return list;
    for (xmlAttr* attribute = m_node->properties; attribute; attribute = attribute->next) {
        if (auto handle = nodeWithLibXMLNode(reinterpret_cast<xmlNode*>(attribute)))
            list.push_back(std::move(handle));
    }
    return list;
}

CXMLNode::NodeList CXMLElement::elementsForLocalName(std::string_view localName, std::string_view URI) const
{
    // Compared directly rather than through XPath, which cannot name the
    // default namespace.
    NodeList list;
    if (!m_node)
        return list;
    for (xmlNode* child = m_node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && equals(child->name, localName) && child->ns && equals(child->ns->href, URI))
            list.push_back(nodeWithLibXMLNode(child));
    }
    return list;
}

CXMLNode::NodeList CXMLElement::elementsForLocalName(std::string_view localName, const std::shared_ptr<CXMLNamespace>& ns) const
{
    if (!ns || !ns->URI())
        return {};
    return elementsForLocalName(localName, *ns->URI());
}

CXMLNode::NodeList CXMLElement::elementsForName(std::string_view name) const
{
    // xmlns="" undeclares the default namespace.
    if (auto ns = resolveNamespaceForName(name); ns && !ns->URI().value_or("").empty())
        return elementsForLocalName(localNameForName(name), ns);
    NodeList list;
    if (!m_node || !prefixForName(name).empty())
        return list;
    for (xmlNode* child = m_node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && !child->ns && equals(child->name, name))
            list.push_back(nodeWithLibXMLNode(child));
    }
    return list;
}
