#include "Kit/XML/CXMLNode.h"

#include "Platform/Core/PercentEscape.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"
#include "Kit/XML/XMLErrorCapture.h"

#include <climits>
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

namespace {

const xmlChar* nodeXmlText(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

CXMLNode* handleOf(const void* node)
{
    return static_cast<CXMLNode*>(static_cast<const xmlNode*>(node)->_private);
}

bool isDocumentNode(const xmlNode* node)
{
    return node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE;
}

} // namespace

std::optional<std::string> CXMLNode::stringWithXMLChar(const xmlChar* text)
{
    if (!text)
        return std::nullopt;
    std::string_view bytes(reinterpret_cast<const char*>(text));
    if (!core::isValidUTF8(bytes))
        return std::nullopt;
    return std::string(bytes);
}

CXMLNode::CXMLNode(xmlNode* node)
{
    attach(node);
}

CXMLNode::~CXMLNode()
{
    if (m_node)
        detach();
}

void CXMLNode::attach(xmlNode* node)
{
    m_node = node;
    m_nextAlias = handleOf(node);
    node->_private = this;
}

void CXMLNode::detach()
{
    if (m_node->_private == this) {
        m_node->_private = m_nextAlias;
    } else {
        for (CXMLNode* handle = handleOf(m_node); handle; handle = handle->m_nextAlias) {
            if (handle->m_nextAlias == this) {
                handle->m_nextAlias = m_nextAlias;
                break;
            }
        }
    }
    m_node = nullptr;
    m_nextAlias = nullptr;
}

CXMLDocument* CXMLNode::owningDocument() const
{
    if (!m_node || !m_node->doc || !m_node->doc->_private)
        return nullptr;
    return static_cast<CXMLDocument*>(static_cast<CXMLNode*>(m_node->doc->_private));
}

void CXMLNode::forgetNode(xmlNode* node)
{
    CXMLDocument* document = node->doc && node->doc->_private
        ? static_cast<CXMLDocument*>(static_cast<CXMLNode*>(node->doc->_private))
        : nullptr;
    CXMLNode* handle = handleOf(node);
    node->_private = nullptr;
    while (handle) {
        CXMLNode* next = handle->m_nextAlias;
        handle->m_node = nullptr;
        handle->m_nextAlias = nullptr;
        if (document)
            document->removeFromPool(handle, handle->m_poolSlot);
        handle = next;
    }
}

void CXMLNode::forgetSubtree(xmlNode* top)
{
    // Iterative, so that deep trees cannot exhaust the stack.
    xmlNode* node = top;
    while (node) {
        forgetNode(node);
        if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
                for (xmlNode* text = attribute->children; text; text = text->next)
                    forgetNode(text);
                forgetNode(reinterpret_cast<xmlNode*>(attribute));
            }
            for (xmlNs* ns = node->nsDef; ns; ns = ns->next) {
                if (auto* handle = static_cast<CXMLNamespace*>(ns->_private)) {
                    ns->_private = nullptr;
                    CXMLDocument* document = handle->m_document;
                    handle->m_ns = nullptr;
                    handle->m_document = nullptr;
                    if (document)
                        document->removeFromPool(handle, handle->m_poolSlot);
                }
            }
        }
        // An entity reference's children belong to the entity, not to it.
        if (node->children && node->type != XML_ENTITY_REF_NODE) {
            node = node->children;
            continue;
        }
        while (node != top && !node->next)
            node = node->parent;
        if (node == top)
            break;
        node = node->next;
    }
}

std::shared_ptr<CXMLNode> CXMLNode::nodeWithLibXMLNode(xmlNode* node)
{
    if (!node)
        return nullptr;
    if (CXMLNode* handle = handleOf(node))
        return handle->sharedAs<CXMLNode>();
    std::shared_ptr<CXMLNode> handle;
    switch (node->type) {
    case XML_ELEMENT_NODE:
        handle.reset(new CXMLElement(node));
        break;
    case XML_ATTRIBUTE_NODE:
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_DOCUMENT_FRAG_NODE:
        handle.reset(new CXMLNode(node));
        break;
    default:
        return nullptr;
    }
    if (CXMLDocument* document = handle->owningDocument())
        document->addToPool(handle);
    return handle;
}

std::shared_ptr<CXMLNode> CXMLNode::parseXMLStringInContext(std::string_view xml, core::Error* error)
{
    core::setError(error, core::Error());
    if (!m_node || xml.size() > static_cast<size_t>(INT_MAX))
        return nullptr;
    XMLErrorCapture quiet;
    xmlNode* list = nullptr;
    xmlParserErrors result = xmlParseInNodeContext(m_node, xml.data(), static_cast<int>(xml.size()), XML_PARSE_NONET, &list);
    if (result != XML_ERR_OK) {
        if (list)
            xmlFreeNodeList(list);
        core::setError(error, core::Error(CXMLDocument::ErrorDomain, result, core::Value::Dictionary {}));
        return nullptr;
    }
    if (!list)
        return nullptr;
    // Only the first node is answered: the others are freed, not leaked.
    if (xmlNode* rest = list->next) {
        list->next = nullptr;
        rest->prev = nullptr;
        xmlFreeNodeList(rest);
    }
    auto handle = nodeWithLibXMLNode(list);
    if (!handle)
        xmlFreeNode(list);
    return handle;
}

std::optional<CXMLNode::NodeList> CXMLNode::nodesForXPath(std::string_view xpath, core::Error* error)
{
    return nodesForXPath(xpath, {}, error);
}

std::optional<CXMLNode::NodeList> CXMLNode::nodesForXPath(std::string_view xpath, const NamespaceMappings& mappings, core::Error* error)
{
    core::setError(error, core::Error());
    if (!m_node || !m_node->doc)
        return std::nullopt;
    XMLErrorCapture quiet;
    xmlXPathContext* context = xmlXPathNewContext(m_node->doc);
    if (!context)
        return std::nullopt;
    context->node = m_node;
    for (const auto& [prefix, uri] : mappings)
        xmlXPathRegisterNs(context, nodeXmlText(prefix), nodeXmlText(uri));
    std::string expression(xpath);
    xmlXPathObject* result = xmlXPathEvalExpression(nodeXmlText(expression), context);
    std::optional<NodeList> nodes;
    if (result && result->type == XPATH_NODESET && result->nodesetval && result->nodesetval->nodeNr > 0) {
        NodeList list;
        list.reserve(static_cast<size_t>(result->nodesetval->nodeNr));
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            if (auto node = nodeWithLibXMLNode(result->nodesetval->nodeTab[i]))
                list.push_back(std::move(node));
        }
        if (!list.empty())
            nodes = std::move(list);
    }
    xmlXPathFreeObject(result);
    xmlXPathFreeContext(context);
    return nodes;
}

std::optional<std::string> CXMLNode::XMLStringWithOptions(unsigned options) const
{
    if (!m_node)
        return std::nullopt;
    XMLErrorCapture quiet;
    xmlBuffer* buffer = xmlBufferCreate();
    if (!buffer)
        return std::nullopt;
    xmlOutputBuffer* output = xmlOutputBufferCreateBuffer(buffer, nullptr);
    if (!output) {
        xmlBufferFree(buffer);
        return std::nullopt;
    }
    const xmlChar* declared = m_node->doc ? m_node->doc->encoding : nullptr;
    if ((options & AsInDocumentOption) && m_node->doc)
        m_node->doc->encoding = reinterpret_cast<const xmlChar*>("utf-8");
    xmlNodeDumpOutput(output, m_node->doc, m_node, 0, (options & PrettyPrintOption) ? 1 : 0, "UTF-8");
    if ((options & AsInDocumentOption) && m_node->doc)
        m_node->doc->encoding = declared;
    xmlOutputBufferClose(output);
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)), static_cast<size_t>(xmlBufferLength(buffer)));
    xmlBufferFree(buffer);
    if (!core::isValidUTF8(text))
        return std::nullopt;
    return text;
}

std::string CXMLNode::description() const
{
    return fmt::format("<{} {} {}>", className(), static_cast<const void*>(this), name());
}

std::optional<std::string> CXMLNode::URI() const
{
    if (!m_node)
        return std::nullopt;
    if (!isDocumentNode(m_node) && m_node->type != XML_DOCUMENT_FRAG_NODE && m_node->ns && m_node->ns->href)
        return stringWithXMLChar(m_node->ns->href);
    if (m_node->doc)
        return stringWithXMLChar(m_node->doc->URL);
    return std::nullopt;
}

std::shared_ptr<CXMLNode> CXMLNode::removeChildAtIndex(size_t index)
{
    if (!m_node || isDocumentNode(m_node))
        return nullptr;
    xmlNode* child = m_node->children;
    for (size_t i = 0; child && i < index; ++i)
        child = child->next;
    if (!child)
        return nullptr;
    auto handle = nodeWithLibXMLNode(child);
    xmlUnlinkNode(child);
    if (!handle) {
        forgetSubtree(child);
        xmlFreeNode(child);
        return nullptr;
    }
    // The removed subtree declares what it uses, so it stays whole on its own.
    if (child->type == XML_ELEMENT_NODE && child->doc)
        xmlReconciliateNs(child->doc, child);
    return handle;
}

std::shared_ptr<CXMLNode> CXMLNode::addChild(const std::shared_ptr<CXMLNode>& child)
{
    if (!m_node || !child || !child->m_node)
        return nullptr;
    if (m_node->type != XML_ELEMENT_NODE && m_node->type != XML_DOCUMENT_FRAG_NODE)
        return nullptr;
    xmlNode* node = child->m_node;
    if (node->type != XML_ELEMENT_NODE && node->type != XML_TEXT_NODE && node->type != XML_CDATA_SECTION_NODE
        && node->type != XML_COMMENT_NODE)
        return nullptr;

    // A fragment takes a copy without children; a node of another document
    // is copied whole.
    if (m_node->type == XML_DOCUMENT_FRAG_NODE || node->doc != m_node->doc) {
        xmlNode* copy = xmlDocCopyNode(node, m_node->doc, m_node->type == XML_DOCUMENT_FRAG_NODE ? 2 : 1);
        if (!copy)
            return nullptr;
        xmlNode* added = xmlAddChild(m_node, copy);
        if (!added) {
            xmlFreeNode(copy);
            return nullptr;
        }
        if (added->type == XML_ELEMENT_NODE)
            xmlReconciliateNs(added->doc, added);
        return nodeWithLibXMLNode(added);
    }

    // A node cannot become its own descendant.
    for (xmlNode* ancestor = m_node; ancestor; ancestor = ancestor->parent) {
        if (ancestor == node)
            return nullptr;
    }
    if (node->parent == m_node)
        return child;
    if (node->parent)
        xmlUnlinkNode(node);

    // libxml2 may merge added text into the text before it and free the
    // added node: the handles then move to the merged node.
    CXMLNode* handles = handleOf(node);
    node->_private = nullptr;
    xmlNode* added = xmlAddChild(m_node, node);
    if (added == node || !added) {
        node->_private = handles;
        return added ? child : nullptr;
    }
    CXMLNode* last = handles;
    for (CXMLNode* handle = handles; handle; handle = handle->m_nextAlias) {
        handle->m_node = added;
        last = handle;
    }
    if (last) {
        last->m_nextAlias = handleOf(added);
        added->_private = handles;
    }
    if (added->type == XML_ELEMENT_NODE)
        xmlReconciliateNs(added->doc, added);
    return child;
}

std::shared_ptr<CXMLNode> CXMLNode::parent() const
{
    return m_node ? nodeWithLibXMLNode(m_node->parent) : nullptr;
}

CXMLNode::NodeList CXMLNode::children() const
{
    NodeList list;
    if (!m_node)
        return list;
    for (xmlNode* child = m_node->children; child; child = child->next) {
        if (auto handle = nodeWithLibXMLNode(child))
            list.push_back(std::move(handle));
    }
    return list;
}

size_t CXMLNode::level() const
{
    size_t level = 0;
    if (m_node) {
        for (xmlNode* ancestor = m_node->parent; ancestor; ancestor = ancestor->parent)
            ++level;
    }
    return level;
}

size_t CXMLNode::index() const
{
    size_t index = 0;
    if (m_node) {
        for (xmlNode* sibling = m_node->prev; sibling; sibling = sibling->prev)
            ++index;
    }
    return index;
}

void CXMLNode::setStringValue(std::optional<std::string_view> text)
{
    if (!m_node)
        return;
    std::string content = text ? std::string(*text) : std::string();
    switch (m_node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_DOCUMENT_FRAG_NODE: {
        // The content replaces the children, which libxml2 frees.
        for (xmlNode* child = m_node->children; child; child = child->next)
            forgetSubtree(child);
        if (!text) {
            xmlNodeSetContent(m_node, nullptr);
            break;
        }
        xmlChar* escaped = xmlEncodeEntitiesReentrant(m_node->doc, nodeXmlText(content));
        xmlNodeSetContent(m_node, escaped);
        xmlFree(escaped);
        break;
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
        // Character data holds the text itself: escaping it here would
        // escape it twice on output.
        xmlNodeSetContentLen(m_node, text ? nodeXmlText(content) : nullptr, static_cast<int>(std::min(content.size(), size_t(INT_MAX))));
        break;
    default:
        break;
    }
}

std::optional<std::string> CXMLNode::stringValue() const
{
    if (!m_node)
        return std::nullopt;
    xmlChar* content = xmlNodeGetContent(m_node);
    auto text = stringWithXMLChar(content);
    xmlFree(content);
    return text;
}

std::string CXMLNode::name() const
{
    if (!m_node || !m_node->name || isDocumentNode(m_node))
        return {};
    std::string name(reinterpret_cast<const char*>(m_node->name));
    if (m_node->type != XML_DOCUMENT_FRAG_NODE && m_node->ns && m_node->ns->prefix)
        return reinterpret_cast<const char*>(m_node->ns->prefix) + (":" + name);
    return name;
}

int CXMLNode::kind() const
{
    return m_node ? static_cast<int>(m_node->type) : 0;
}

void CXMLNode::freeXMLNode()
{
    if (!m_node || m_node->parent || isDocumentNode(m_node))
        return;
    auto self = shared_from_this();
    xmlNode* node = m_node;
    forgetSubtree(node);
    if (node->type == XML_ATTRIBUTE_NODE)
        xmlFreeProp(reinterpret_cast<xmlAttr*>(node));
    else
        xmlFreeNode(node);
}

std::string CXMLNode::prefixForName(std::string_view name)
{
    auto colon = name.find(':');
    if (colon == std::string_view::npos || name.find(':', colon + 1) != std::string_view::npos)
        return {};
    return std::string(name.substr(0, colon));
}

std::string CXMLNode::localNameForName(std::string_view name)
{
    auto colon = name.find(':');
    if (colon == std::string_view::npos || name.find(':', colon + 1) != std::string_view::npos)
        return std::string(name);
    return std::string(name.substr(colon + 1));
}
