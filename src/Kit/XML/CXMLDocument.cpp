#include "Kit/XML/CXMLDocument.h"

#include "Platform/Core/PercentEscape.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"
#include "Kit/XML/XMLErrorCapture.h"
#include "Platform/Core/FileSystem.h"
#include "Platform/Core/Log.h"
#include "Platform/Core/URL.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <vector>

namespace {

const xmlChar* xmlText(const std::string& text)
{
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// The HTML parser is chosen for bytes that start like an HTML5 page. Only
// the first 20 bytes are looked at, and only when they are whole UTF-8.
bool beginsWithHTMLDoctype(const char* bytes, size_t length)
{
    std::string_view head(bytes, std::min<size_t>(length, 20));
    return core::isValidUTF8(head) && head.starts_with("<!DOCTYPE html");
}

} // namespace

CXMLDocument::CXMLDocument(xmlDoc* document)
    : CXMLNode(reinterpret_cast<xmlNode*>(document))
{
}

CXMLDocument::~CXMLDocument()
{
    auto* document = reinterpret_cast<xmlDoc*>(m_node);
    // Nodes outside the tree (made and never added, removed, parsed in
    // context) are freed here, once; every handle is cleared first so that
    // handles kept by callers answer null afterwards.
    std::vector<xmlNode*> loose;
    for (auto& entry : m_nodePool) {
        if (CXMLNode* node = entry.node) {
            if (node->m_node && !node->m_node->parent)
                loose.push_back(node->m_node);
            node->m_node = nullptr;
            node->m_nextAlias = nullptr;
            node->m_poolSlot = NotPooled;
        } else if (CXMLNamespace* ns = entry.ns) {
            ns->m_ns = nullptr;
            ns->m_document = nullptr;
            ns->m_poolSlot = NotPooled;
        }
    }
    // Aliases share a node: each is freed once.
    std::sort(loose.begin(), loose.end());
    loose.erase(std::unique(loose.begin(), loose.end()), loose.end());
    for (xmlNode* node : loose) {
        if (node->type == XML_ATTRIBUTE_NODE)
            xmlFreeProp(reinterpret_cast<xmlAttr*>(node));
        else
            xmlFreeNode(node);
    }
    m_node = nullptr;
    xmlFreeDoc(document);
    m_nodePool.clear();
}

void CXMLDocument::addToPool(std::shared_ptr<CXMLNode> node)
{
    node->m_poolSlot = m_nodePool.size();
    CXMLNode* raw = node.get();
    m_nodePool.push_back({ std::move(node), raw, nullptr });
}

void CXMLDocument::addToPool(std::shared_ptr<CXMLNamespace> ns)
{
    ns->m_poolSlot = m_nodePool.size();
    CXMLNamespace* raw = ns.get();
    m_nodePool.push_back({ std::move(ns), nullptr, raw });
}

void CXMLDocument::removeFromPool(const core::Object* handle, size_t& slot)
{
    if (slot >= m_nodePool.size() || m_nodePool[slot].handle.get() != handle)
        return;
    size_t index = slot;
    slot = NotPooled;
    // Released after it has left the pool.
    auto released = std::move(m_nodePool[index].handle);
    if (index + 1 != m_nodePool.size()) {
        auto& last = m_nodePool.back();
        if (last.node)
            last.node->m_poolSlot = index;
        else
            last.ns->m_poolSlot = index;
        m_nodePool[index] = std::move(last);
    }
    m_nodePool.pop_back();
}

std::shared_ptr<CXMLDocument> CXMLDocument::parse(const char* bytes, size_t length, unsigned options, core::Error* error)
{
    if (length == 0 || length > static_cast<size_t>(INT_MAX)) {
        core::setError(error, core::Error(ErrorDomain, 3, core::Value::Dictionary {}));
        return nullptr;
    }
    bool html = options == HTMLOption || beginsWithHTMLDoctype(bytes, length);
    XMLErrorCapture capture;
    xmlDoc* document = nullptr;
    bool namespaceWellFormed = true;
    if (html) {
        if (htmlParserCtxt* context = htmlNewParserCtxt()) {
            document = htmlCtxtReadMemory(context, bytes, static_cast<int>(length), nullptr, nullptr,
                HTML_PARSE_RECOVER | HTML_PARSE_NOBLANKS | HTML_PARSE_NONET);
            htmlFreeParserCtxt(context);
        }
    } else if (xmlParserCtxt* context = xmlNewParserCtxt()) {
        // Never DTD loading, entity substitution or the network.
        document = xmlCtxtReadMemory(context, bytes, static_cast<int>(length), nullptr, nullptr,
            XML_PARSE_NOWARNING | XML_PARSE_NOBLANKS | XML_PARSE_NONET);
        namespaceWellFormed = context->nsWellFormed;
        xmlFreeParserCtxt(context);
    }
    if (!document) {
        core::setError(error, core::Error(ErrorDomain, 3, core::Value::Dictionary {}));
        return nullptr;
    }
    std::shared_ptr<CXMLDocument> result(new CXMLDocument(document));
    result->m_namespaceWellFormed = namespaceWellFormed;
    if (capture.level() >= 2)
        core::log("CXMLDocument parse error, level: {}, message: {}", capture.level(), capture.message());
    if (capture.level() == 3)
        core::setError(error, core::Error(ErrorDomain, capture.code(), capture.message()));
    else
        core::setError(error, core::Error());
    return result;
}

std::shared_ptr<CXMLDocument> CXMLDocument::initWithData(const core::Data& data, unsigned options, core::Error* error)
{
    return parse(data.chars(), data.size(), options, error);
}

std::shared_ptr<CXMLDocument> CXMLDocument::initWithXMLString(std::string_view xml, unsigned options, core::Error* error)
{
    // A string ends at its first NUL.
    if (const void* nul = std::memchr(xml.data(), '\0', xml.size()))
        xml = xml.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - xml.data()));
    return parse(xml.data(), xml.size(), options, error);
}

std::shared_ptr<CXMLDocument> CXMLDocument::createDocument()
{
    XMLErrorCapture::prepareLibrary();
    xmlDoc* document = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!document)
        return nullptr;
    return std::shared_ptr<CXMLDocument>(new CXMLDocument(document));
}

std::optional<std::string> CXMLDocument::version() const
{
    return m_node ? stringWithXMLChar(reinterpret_cast<xmlDoc*>(m_node)->version) : std::nullopt;
}

std::optional<std::string> CXMLDocument::URI() const
{
    return m_node ? stringWithXMLChar(reinterpret_cast<xmlDoc*>(m_node)->URL) : std::nullopt;
}

std::shared_ptr<CXMLElement> CXMLDocument::rootElement() const
{
    if (!m_node)
        return nullptr;
    return std::dynamic_pointer_cast<CXMLElement>(nodeWithLibXMLNode(xmlDocGetRootElement(reinterpret_cast<xmlDoc*>(m_node))));
}

std::shared_ptr<CXMLElement> CXMLDocument::setRootElement(const std::shared_ptr<CXMLElement>& element)
{
    if (!m_node || !element || !element->m_node)
        return nullptr;
    auto* document = reinterpret_cast<xmlDoc*>(m_node);
    xmlNode* node = element->m_node;
    if (node->doc != document) {
        node = xmlDocCopyNode(node, document, 1);
        if (!node)
            return nullptr;
        nodeWithLibXMLNode(node);
    }
    xmlNode* old = xmlDocGetRootElement(document);
    if (old == node)
        return std::dynamic_pointer_cast<CXMLElement>(nodeWithLibXMLNode(old));
    auto oldHandle = std::dynamic_pointer_cast<CXMLElement>(nodeWithLibXMLNode(old));
    if (node->parent)
        xmlUnlinkNode(node);
    xmlDocSetRootElement(document, node);
    // Each tree declares what it uses: the new root may have relied on
    // declarations of the old one.
    xmlReconciliateNs(document, node);
    if (old)
        xmlReconciliateNs(document, old);
    return oldHandle;
}

std::shared_ptr<CXMLNode> CXMLDocument::addChild(const std::shared_ptr<CXMLNode>& child)
{
    auto root = rootElement();
    return root ? root->addChild(child) : nullptr;
}

std::shared_ptr<CXMLNode> CXMLDocument::removeChildAtIndex(size_t index)
{
    auto root = rootElement();
    return root ? root->removeChildAtIndex(index) : nullptr;
}

std::optional<std::string> CXMLDocument::XMLDataWithOptions(unsigned options, const char* encoding) const
{
    if (!m_node)
        return std::nullopt;
    XMLErrorCapture quiet;
    xmlChar* bytes = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(reinterpret_cast<xmlDoc*>(m_node), &bytes, &size, encoding,
        (options & PrettyPrintOption) ? 1 : 0);
    if (!bytes)
        return std::nullopt;
    std::string text(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
    xmlFree(bytes);
    return text;
}

std::optional<core::Data> CXMLDocument::XMLDataWithOptions(unsigned options) const
{
    const xmlChar* declared = m_node ? reinterpret_cast<xmlDoc*>(m_node)->encoding : nullptr;
    auto bytes = XMLDataWithOptions(options, declared ? reinterpret_cast<const char*>(declared) : "utf-8");
    if (!bytes)
        return std::nullopt;
    return core::Data(std::move(*bytes));
}

std::optional<std::string> CXMLDocument::XMLStringWithOptions(unsigned options) const
{
    auto text = XMLDataWithOptions(options, "utf-8");
    if (!text || !core::isValidUTF8(*text))
        return std::nullopt;
    return text;
}

std::string CXMLDocument::description() const
{
    return XMLStringWithOptions(PrettyPrintOption).value_or("");
}

std::shared_ptr<CXMLElement> CXMLDocument::elementWithName(std::string_view name)
{
    return elementWithName(name, std::nullopt);
}

std::shared_ptr<CXMLElement> CXMLDocument::elementWithName(std::string_view name, std::optional<std::string_view> URI)
{
    if (!m_node)
        return nullptr;
    auto* document = reinterpret_cast<xmlDoc*>(m_node);
    std::string qualified(name);
    if (!URI) {
        xmlNode* node = xmlNewDocNode(document, nullptr, xmlText(qualified), nullptr);
        return std::dynamic_pointer_cast<CXMLElement>(nodeWithLibXMLNode(node));
    }
    std::string prefix = prefixForName(name);
    std::string local = localNameForName(name);
    std::string uri(*URI);
    xmlNode* node = xmlNewDocNode(document, nullptr, xmlText(local), nullptr);
    if (!node)
        return nullptr;
    xmlNs* ns = nullptr;
    // The root's declaration of the prefix serves when it names the same URI.
    if (xmlNode* root = xmlDocGetRootElement(document)) {
        xmlNs* found = xmlSearchNs(document, root, prefix.empty() ? nullptr : xmlText(prefix));
        if (found && found->href && uri == reinterpret_cast<const char*>(found->href))
            ns = found;
    }
    if (!ns)
        ns = xmlNewNs(node, xmlText(uri), prefix.empty() ? nullptr : xmlText(prefix));
    xmlSetNs(node, ns);
    return std::dynamic_pointer_cast<CXMLElement>(nodeWithLibXMLNode(node));
}

