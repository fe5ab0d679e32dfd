#pragma once

#include "Kit/XML/CXMLNode.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CXMLNamespace;

// An element: attributes, namespace declarations and child elements by name.
class CXMLElement : public CXMLNode {
public:
    using NamespaceList = std::vector<std::shared_ptr<CXMLNamespace>>;

    // A new declaration on this element; nothing when libxml2 refuses it.
    std::shared_ptr<CXMLNamespace> addNamespaceURI(std::string_view URI, std::optional<std::string_view> prefix);
    // Sets the attribute (replacing one of the same name) and answers it.
    std::shared_ptr<CXMLNode> addAttributeWithName(std::string_view name, std::string_view value,
        const std::shared_ptr<CXMLNamespace>& ns);
    std::shared_ptr<CXMLNode> addAttributeWithName(std::string_view name, std::string_view value);

    // The namespace of the name's prefix; a name without one asks for the
    // default namespace.
    std::shared_ptr<CXMLNamespace> resolveNamespaceForName(std::string_view name) const;
    // In declaration order; nothing (not an empty list) when there are none.
    std::optional<NamespaceList> namespaces() const;

    NodeList attributes() const;

    // Child elements by local name and namespace URI.
    NodeList elementsForLocalName(std::string_view localName, std::string_view URI) const;
    NodeList elementsForLocalName(std::string_view localName, const std::shared_ptr<CXMLNamespace>& ns) const;
    // Child elements by qualified name, the default namespace applying to a
    // plain name.
    NodeList elementsForName(std::string_view name) const;

protected:
    friend class CXMLNode;
    using CXMLNode::CXMLNode;
};
