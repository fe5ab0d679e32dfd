#include "WebDAV/WebDAVDeadPropertyFixup.h"

#include "Kit/XML/CXMLElement.h"

#include <libxml/tree.h>

#include <cstring>

namespace {

const xmlChar* xmlText(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

// The namespace "prefix" → "DAV:" in scope at the node, declared on it when
// the prefix is unbound or bound elsewhere.
xmlNs* davNamespace(xmlNode* node, const std::string& prefix)
{
    xmlNs* ns = xmlSearchNs(node->doc, node, xmlText(prefix.c_str()));
    if (ns && ns->href && std::strcmp(reinterpret_cast<const char*>(ns->href), "DAV:") == 0)
        return ns;
    for (xmlNs* own = node->nsDef; own; own = own->next) {
        if (own->prefix && prefix == reinterpret_cast<const char*>(own->prefix))
            return nullptr;
    }
    return xmlNewNs(node, xmlText("DAV:"), xmlText(prefix.c_str()));
}

void renameRecursively(xmlNode* node, xmlNs* ns)
{
    for (xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        xmlSetNs(child, ns);
        renameRecursively(child, ns);
    }
}

} // namespace

void setPrefixRecursivelyForDeadStorage(CXMLElement& element, const std::string& prefix)
{
    xmlNode* node = element.libxmlNode();
    if (!node)
        return;
    xmlNs* ns = davNamespace(node, prefix);
    if (!ns)
        return;
    xmlSetNs(node, ns);
    renameRecursively(node, ns);
}

void fixupForDeadPropertyStorage(CXMLElement& element)
{
    xmlNode* node = element.libxmlNode();
    if (!node || !node->ns || !node->ns->href)
        return;
    const char* uri = reinterpret_cast<const char*>(node->ns->href);
    if (std::strcmp(uri, "DAV:") == 0) {
        if (!node->ns->prefix || std::strcmp(reinterpret_cast<const char*>(node->ns->prefix), "D") != 0)
            setPrefixRecursivelyForDeadStorage(element, "D");
        return;
    }
    for (xmlNs* own = node->nsDef; own; own = own->next) {
        if (own == node->ns)
            return;
    }
    if (xmlNs* declared = xmlNewNs(node, node->ns->href, node->ns->prefix))
        xmlSetNs(node, declared);
}

std::optional<std::string> deadPropertyStorageString(CXMLElement& element)
{
    xmlNode* node = element.libxmlNode();
    if (!node)
        return std::nullopt;
    // A copy in a document of its own declares, on the copy, every namespace
    // the element took from its ancestors.
    xmlDoc* document = xmlNewDoc(xmlText("1.0"));
    if (!document)
        return std::nullopt;
    std::optional<std::string> text;
    if (xmlNode* copy = xmlDocCopyNode(node, document, 1)) {
        xmlDocSetRootElement(document, copy);
        if (xmlBuffer* buffer = xmlBufferCreate()) {
            if (xmlNodeDump(buffer, document, copy, 0, 0) >= 0)
                text = std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                    static_cast<size_t>(xmlBufferLength(buffer)));
            xmlBufferFree(buffer);
        }
    }
    xmlFreeDoc(document);
    return text;
}
