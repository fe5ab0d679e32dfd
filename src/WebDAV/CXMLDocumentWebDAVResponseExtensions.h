#pragma once

#include "WebDAV/WebDAVLock.h"
#include "WebDAV/WebDAVResource.h"

#include "Kit/XML/CXMLNode.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

class CXMLDocument;
class CXMLElement;

// The document additions that build 207 Multi-Status bodies. Every DAV:
// element is "D:" + its local name; foreign namespaces of property elements
// are declared once, on the root, under generated prefixes "A"…"Z", "AA"…
// "ZZ", "AAA"… (never one the root already declares).

// "D" → "DAV:", also the namespace table of XPath queries on request bodies.
const CXMLNode::NamespaceMappings& DAVNamespaceMapping();
std::shared_ptr<CXMLDocument> createDAVMultistatusDocument();
// "D:prop" as given; "collection" or "x:write" as "D:collection", "D:write".
std::shared_ptr<CXMLElement> DAVElementWithName(CXMLDocument& document, std::string_view name);
// The qualified name DAVElementWithName gives the element.
std::string DAVQualifiedName(std::string_view name);
std::shared_ptr<CXMLElement> DAVLockEntryElementForScope(CXMLDocument& document, std::string_view scope, std::string_view type);
std::shared_ptr<CXMLElement> addDAVResponseElementForResource(CXMLDocument& document, const WebDAVResource& resource);
std::shared_ptr<CXMLElement> elementForPropertyName(CXMLDocument& document, const WebDAVPropertyName& name);
std::string nextFreeRootElementPrefix(CXMLDocument& document);
// The first of "A"…"Z", "AA"… not taken.
std::string nextFreePrefix(const std::set<std::string>& taken);
std::shared_ptr<CXMLElement> addDAVPropstatForPropertyNames(CXMLDocument& document, const WebDAVPropertyNameList& names,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description = std::nullopt);
std::shared_ptr<CXMLElement> addDAVPropstatForPropertyName(CXMLDocument& document, const WebDAVPropertyNameRef& name,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description = std::nullopt);
// Dead values are parsed back from their stored XML; one that no longer
// parses is reported apart, under 500.
std::shared_ptr<CXMLElement> addDAVPropstatForProperties(CXMLDocument& document, const WebDAVPropertyTable& properties,
    CXMLElement& parent, std::string_view status, std::optional<std::string_view> description = std::nullopt);
// Whether a dead value's stored XML parses back, as answers parse it, into
// the one element it stands for: what does not (an entity reference whose
// declaration stayed in the request) is never stored.
bool isReadableDeadPropertyValue(std::string_view xml);
// 200 for the names the resource answers, 404 for the others.
void addDAVPropstatForResource(CXMLDocument& document, const WebDAVResource& resource, const WebDAVPropertyNameList& names,
    CXMLElement& parent);
// The names the table does not answer.
WebDAVPropertyNameList DAVMissingPropertyNames(const WebDAVPropertyTable& table, const WebDAVPropertyNameList& names);
void addDAVActiveLockElementsForLocks(CXMLDocument& document, const std::vector<WebDAVLockRef>& locks, CXMLElement& parent);

// "HTTP/1.1 404 Not Found"
std::string DAVStatusLine(int code, std::string_view text);
