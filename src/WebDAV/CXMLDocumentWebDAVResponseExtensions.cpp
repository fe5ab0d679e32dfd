#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"

#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Kit/XML/CXMLNamespace.h"
#include "Platform/Core/Log.h"

#include <fmt/format.h>

#include <set>

namespace {

constexpr std::string_view DAVNamespace = "DAV:";

std::shared_ptr<CXMLElement> appendDAVElement(CXMLDocument& document, CXMLNode& parent, std::string_view name)
{
    auto element = DAVElementWithName(document, name);
    if (element)
        parent.addChild(element);
    return element;
}

std::shared_ptr<CXMLElement> appendDAVText(CXMLDocument& document, CXMLNode& parent, std::string_view name,
    std::string_view text)
{
    auto element = appendDAVElement(document, parent, name);
    if (element)
        element->setStringValue(text);
    return element;
}

void appendStatus(CXMLDocument& document, CXMLElement& propstat, std::string_view status,
    std::optional<std::string_view> description)
{
    appendDAVText(document, propstat, "D:status", status);
    if (description)
        appendDAVText(document, propstat, "D:responsedescription", *description);
}

std::set<std::string> rootPrefixes(CXMLDocument& document)
{
    std::set<std::string> prefixes;
    if (auto root = document.rootElement()) {
        if (auto namespaces = root->namespaces()) {
            for (const auto& ns : *namespaces)
                prefixes.insert(ns->prefix());
        }
    }
    return prefixes;
}

} // namespace

const CXMLNode::NamespaceMappings& DAVNamespaceMapping()
{
    static const CXMLNode::NamespaceMappings mapping { { "D", "DAV:" } };
    return mapping;
}

std::string DAVStatusLine(int code, std::string_view text)
{
    return fmt::format("HTTP/1.1 {} {}", code, text);
}

std::shared_ptr<CXMLDocument> createDAVMultistatusDocument()
{
    auto document = CXMLDocument::createDocument();
    auto root = document->elementWithName("D:multistatus", DAVNamespace);
    document->setRootElement(root);
    return document;
}

std::string DAVQualifiedName(std::string_view name)
{
    if (name.starts_with('D'))
        return std::string(name);
    size_t colon = name.find(':');
    bool oneColon = colon != std::string_view::npos && name.find(':', colon + 1) == std::string_view::npos;
    return "D:" + std::string(oneColon ? name.substr(colon + 1) : name);
}

std::shared_ptr<CXMLElement> DAVElementWithName(CXMLDocument& document, std::string_view name)
{
    return document.elementWithName(DAVQualifiedName(name), DAVNamespace);
}

std::shared_ptr<CXMLElement> DAVLockEntryElementForScope(CXMLDocument& document, std::string_view scope, std::string_view type)
{
    auto entry = DAVElementWithName(document, "D:lockentry");
    if (auto lockscope = appendDAVElement(document, *entry, "D:lockscope"))
        appendDAVElement(document, *lockscope, scope);
    if (auto locktype = appendDAVElement(document, *entry, "D:locktype"))
        appendDAVElement(document, *locktype, type);
    return entry;
}

std::shared_ptr<CXMLElement> addDAVResponseElementForResource(CXMLDocument& document, const WebDAVResource& resource)
{
    auto root = document.rootElement();
    auto response = appendDAVElement(document, *root, "D:response");
    appendDAVText(document, *response, "D:href", escapedPathString(resource.URI()));
    return response;
}

std::string nextFreeRootElementPrefix(CXMLDocument& document)
{
    return nextFreePrefix(rootPrefixes(document));
}

std::string nextFreePrefix(const std::set<std::string>& taken)
{
    for (size_t length = 1;; ++length) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            std::string prefix(length, letter);
            if (!taken.contains(prefix))
                return prefix;
        }
    }
}

std::shared_ptr<CXMLElement> elementForPropertyName(CXMLDocument& document, const WebDAVPropertyName& name)
{
    std::string uri = name.URI();
    std::string local = name.localName();
    if (uri == DAVNamespace)
        return DAVElementWithName(document, "D:" + local);
    if (uri.empty())
        return document.elementWithName(local);
    auto root = document.rootElement();
    std::optional<std::string> prefix;
    if (auto namespaces = root->namespaces()) {
        for (const auto& ns : *namespaces) {
            if (ns->URI() == uri) {
                prefix = ns->prefix();
                break;
            }
        }
    }
    if (!prefix) {
        prefix = nextFreeRootElementPrefix(document);
        root->addNamespaceURI(uri, *prefix);
    }
    return document.elementWithName(prefix->empty() ? local : *prefix + ":" + local, uri);
}

std::shared_ptr<CXMLElement> addDAVPropstatForPropertyNames(CXMLDocument& document, const WebDAVPropertyNameList& names,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description)
{
    auto propstat = appendDAVElement(document, parent, "D:propstat");
    auto prop = appendDAVElement(document, *propstat, "D:prop");
    for (const auto& name : names) {
        if (auto element = elementForPropertyName(document, *name))
            prop->addChild(element);
    }
    appendStatus(document, *propstat, status, description);
    return propstat;
}

std::shared_ptr<CXMLElement> addDAVPropstatForPropertyName(CXMLDocument& document, const WebDAVPropertyNameRef& name,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description)
{
    return addDAVPropstatForPropertyNames(document, WebDAVPropertyNameList { name }, parent, status, description);
}

bool isReadableDeadPropertyValue(std::string_view xml)
{
    auto document = createDAVMultistatusDocument();
    auto prop = DAVElementWithName(*document, "D:prop");
    document->rootElement()->addChild(prop);
    auto node = prop->parseXMLStringInContext(xml);
    bool readable = node && node->kind() == CXMLNode::ElementKind;
    if (node)
        node->freeXMLNode();
    return readable;
}

std::shared_ptr<CXMLElement> addDAVPropstatForProperties(CXMLDocument& document, const WebDAVPropertyTable& properties,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description)
{
    auto propstat = appendDAVElement(document, parent, "D:propstat");
    auto prop = appendDAVElement(document, *propstat, "D:prop");
    WebDAVPropertyNameList failed;
    for (const auto& [name, value] : properties) {
        if (name->isDead()) {
            core::Error error;
            auto node = value.isString() ? prop->parseXMLStringInContext(value.string(), &error) : nullptr;
            if (!node || node->kind() != CXMLNode::ElementKind) {
                if (node)
                    node->freeXMLNode();
                core::log("Warning, property({}) payload xml error: {}", name->name(), error.description());
                failed.push_back(name);
                continue;
            }
            prop->addChild(node);
            continue;
        }
        auto element = elementForPropertyName(document, *name);
        if (!element)
            continue;
        prop->addChild(element);
        if (*name == "resourcetype") {
            if (value.isString() && value.string() == "collection")
                appendDAVElement(document, *element, "D:collection");
        } else if (*name == "supportedlock") {
            std::string text = value.toString();
            if (text.find("exclusive") != std::string::npos)
                element->addChild(DAVLockEntryElementForScope(document, "exclusive", "write"));
            if (text.find("shared") != std::string::npos)
                element->addChild(DAVLockEntryElementForScope(document, "shared", "write"));
        } else if (*name == "lockdiscovery") {
            std::vector<WebDAVLockRef> locks;
            for (const auto& item : value.isArray() ? value.array() : core::Value::Array {}) {
                if (auto lock = item.objectAs<WebDAVLock>())
                    locks.push_back(lock);
            }
            addDAVActiveLockElementsForLocks(document, locks, *element);
        } else {
            element->setStringValue(value.toString());
        }
    }
    appendStatus(document, *propstat, status, description);
    if (!failed.empty())
        addDAVPropstatForPropertyNames(document, failed, parent, DAVStatusLine(500, "Internal Server Error"),
            "Error retrieving named properties");
    return propstat;
}

void addDAVPropstatForResource(CXMLDocument& document, const WebDAVResource& resource, const WebDAVPropertyNameList& names,
    CXMLElement& parent)
{
    auto table = resource.propertiesForNames(&names);
    if (!table.empty())
        addDAVPropstatForProperties(document, table, parent, DAVStatusLine(200, "OK"));
    auto missing = DAVMissingPropertyNames(table, names);
    if (!missing.empty())
        addDAVPropstatForPropertyNames(document, missing, parent, DAVStatusLine(404, "Not Found"));
}

WebDAVPropertyNameList DAVMissingPropertyNames(const WebDAVPropertyTable& table, const WebDAVPropertyNameList& names)
{
    // Judged name by name: the dead properties that come along with any
    // unanswered name must not hide that name's 404.
    WebDAVPropertyNameList missing;
    for (const auto& name : names) {
        bool found = std::any_of(table.begin(), table.end(), [&](const auto& entry) { return *entry.name == name->name(); });
        if (!found)
            missing.push_back(name);
    }
    return missing;
}

void addDAVActiveLockElementsForLocks(CXMLDocument& document, const std::vector<WebDAVLockRef>& locks, CXMLElement& parent)
{
    for (const auto& lock : locks) {
        auto active = appendDAVElement(document, parent, "D:activelock");
        if (auto type = appendDAVElement(document, *active, "D:locktype"))
            appendDAVElement(document, *type, lock->lockType());
        if (auto scope = appendDAVElement(document, *active, "D:lockscope"))
            appendDAVElement(document, *scope, lock->lockScope());
        if (auto token = appendDAVElement(document, *active, "D:locktoken"))
            appendDAVText(document, *token, "D:href", "opaquelocktoken:" + lock->lockToken());
        appendDAVText(document, *active, "D:depth", lock->lockDepth());
        // A lock granted without an owner shows none.
        if (!lock->lockOwner().empty())
            appendDAVText(document, *active, "D:owner", lock->lockOwner());
        appendDAVText(document, *active, "D:timeout", lock->lockTimeout());
    }
}
