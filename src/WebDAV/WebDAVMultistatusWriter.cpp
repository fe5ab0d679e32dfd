#include "WebDAV/WebDAVMultistatusWriter.h"

#include "Kit/URLAdditions.h"
#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"
#include "Platform/Core/Log.h"
#include "WebDAV/CXMLDocumentWebDAVResponseExtensions.h"
#include "WebDAV/WebDAVLock.h"

#include <cstdint>

namespace {

constexpr std::string_view MultistatusDAVNamespace = "DAV:";

// The length of the UTF-8 character at the start of the text; 0 for bytes
// that are not one whole, shortest-form character the tree keeps as it is
// (it re-encodes U+FFFE and U+FFFF).
size_t characterLength(std::string_view text)
{
    auto lead = static_cast<unsigned char>(text[0]);
    size_t length;
    uint32_t value;
    if (lead >= 0xC2 && lead < 0xE0) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return 0;
    if ((value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF)
        return 0;
    return length;
}

bool isCleanUTF8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\0')
            return false;
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t length = characterLength(text.substr(i));
        if (!length)
            return false;
        i += length;
    }
    return true;
}

// Text content as the tree keeps and writes it: markup characters and
// carriage returns escaped, other control characters dropped.
bool appendEscapedText(std::string& out, std::string_view text)
{
    size_t run = 0;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t length = characterLength(text.substr(i));
            if (!length)
                return false;
            i += length;
            continue;
        }
        if (c >= 0x20 && c != '<' && c != '>' && c != '&') {
            ++i;
            continue;
        }
        if (c == '\t' || c == '\n') {
            ++i;
            continue;
        }
        out.append(text.substr(run, i - run));
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '\r':
            out += "&#13;";
            break;
        case '\0':
            return false;
        default:
            break;
        }
        run = ++i;
    }
    out.append(text.substr(run));
    return true;
}

// A local name the tree writes as given.
bool isPlainLocalName(std::string_view name)
{
    return !name.empty() && name.find(':') == std::string_view::npos && isCleanUTF8(name);
}

// DAVElementWithName's qualified name, when it lands in the "D" prefix.
std::optional<std::string> DAVPrefixedName(std::string_view name)
{
    std::string qualified = DAVQualifiedName(name);
    if (CXMLNode::prefixForName(qualified) != "D" || !isPlainLocalName(CXMLNode::localNameForName(qualified)))
        return std::nullopt;
    return qualified;
}

const std::string_view LockEntries[] = {
    "<D:lockentry><D:lockscope><D:exclusive/></D:lockscope><D:locktype><D:write/></D:locktype></D:lockentry>",
    "<D:lockentry><D:lockscope><D:shared/></D:lockscope><D:locktype><D:write/></D:locktype></D:lockentry>",
};

} // namespace

WebDAVMultistatusWriter::WebDAVMultistatusWriter() = default;
WebDAVMultistatusWriter::~WebDAVMultistatusWriter() = default;

size_t WebDAVMultistatusWriter::open(std::string_view name)
{
    m_body += '<';
    m_body += name;
    m_body += '>';
    return m_body.size();
}

void WebDAVMultistatusWriter::close(std::string_view name, size_t contentStart)
{
    if (m_body.size() == contentStart) {
        m_body.back() = '/';
        m_body += '>';
        return;
    }
    m_body += "</";
    m_body += name;
    m_body += '>';
}

void WebDAVMultistatusWriter::emptyElement(std::string_view name)
{
    m_body += '<';
    m_body += name;
    m_body += "/>";
}

void WebDAVMultistatusWriter::textElement(std::string_view name, std::string_view text)
{
    size_t start = open(name);
    if (!appendEscapedText(m_body, text))
        fail();
    close(name, start);
}

void WebDAVMultistatusWriter::beginResponse(const WebDAVResource& resource)
{
    if (m_failed)
        return;
    m_body += "<D:response>";
    textElement("D:href", escapedPathString(resource.URI()));
}

void WebDAVMultistatusWriter::endResponse()
{
    if (!m_failed)
        m_body += "</D:response>";
}

bool WebDAVMultistatusWriter::elementNameForProperty(const WebDAVPropertyName& name, std::string& element)
{
    if (!name.isDead()) {
        // A live name: its local name is the whole name, in "DAV:".
        if (!isPlainLocalName(name.name()))
            return false;
        element.assign("D:").append(name.name());
        return true;
    }
    std::string uri = name.URI();
    std::string local = name.localName();
    if (!isPlainLocalName(local))
        return false;
    if (uri == MultistatusDAVNamespace) {
        element.assign("D:").append(local);
        return true;
    }
    if (uri.empty()) {
        element = std::move(local);
        return true;
    }
    if (uri.find('"') != std::string::npos || !isCleanUTF8(uri))
        return false;
    for (const auto& [prefix, declared] : m_namespaces) {
        if (declared == uri) {
            element.assign(prefix).append(":").append(local);
            return true;
        }
    }
    std::set<std::string> taken { "D" };
    for (const auto& entry : m_namespaces)
        taken.insert(entry.first);
    std::string prefix = nextFreePrefix(taken);
    m_namespaces.emplace_back(prefix, uri);
    if (m_context)
        m_context->rootElement()->addNamespaceURI(uri, prefix);
    element.assign(prefix).append(":").append(local);
    return true;
}

std::optional<std::string> WebDAVMultistatusWriter::deadPropertyXML(const WebDAVPropertyName& name, const core::Value& value)
{
    if (!m_context) {
        m_context = createDAVMultistatusDocument();
        auto root = m_context->rootElement();
        for (const auto& [prefix, uri] : m_namespaces)
            root->addNamespaceURI(uri, prefix);
        m_contextProp = DAVElementWithName(*m_context, "D:prop");
        root->addChild(m_contextProp);
    }
    core::Error error;
    auto node = value.isString() ? m_contextProp->parseXMLStringInContext(value.string(), &error) : nullptr;
    if (!node || node->kind() != CXMLNode::ElementKind) {
        if (node)
            node->freeXMLNode();
        core::log("Warning, property({}) payload xml error: {}", name.name(), error.description());
        return std::nullopt;
    }
    auto xml = node->XMLStringWithOptions(CXMLNode::AsInDocumentOption);
    node->freeXMLNode();
    if (!xml || !isCleanUTF8(*xml)) {
        fail();
        return std::nullopt;
    }
    return xml;
}

void WebDAVMultistatusWriter::addActiveLocks(const core::Value& locks)
{
    if (!locks.isArray())
        return;
    for (const auto& item : locks.array()) {
        auto lock = item.objectAs<WebDAVLock>();
        if (!lock)
            continue;
        auto type = DAVPrefixedName(lock->lockType());
        auto scope = DAVPrefixedName(lock->lockScope());
        if (!type || !scope)
            return fail();
        m_body += "<D:activelock><D:locktype>";
        emptyElement(*type);
        m_body += "</D:locktype><D:lockscope>";
        emptyElement(*scope);
        m_body += "</D:lockscope><D:locktoken>";
        textElement("D:href", "opaquelocktoken:" + lock->lockToken());
        m_body += "</D:locktoken>";
        textElement("D:depth", lock->lockDepth());
        if (!lock->lockOwner().empty())
            textElement("D:owner", lock->lockOwner());
        textElement("D:timeout", lock->lockTimeout());
        m_body += "</D:activelock>";
    }
}

void WebDAVMultistatusWriter::endPropstat(size_t propStart, std::string_view status, std::optional<std::string_view> description)
{
    close("D:prop", propStart);
    textElement("D:status", status);
    if (description)
        textElement("D:responsedescription", *description);
    m_body += "</D:propstat>";
}

void WebDAVMultistatusWriter::addPropstatForPropertyNames(const WebDAVPropertyNameList& names, std::string_view status,
    std::optional<std::string_view> description)
{
    if (m_failed)
        return;
    m_body += "<D:propstat>";
    size_t prop = open("D:prop");
    std::string element;
    for (const auto& name : names) {
        if (!elementNameForProperty(*name, element))
            return fail();
        emptyElement(element);
    }
    endPropstat(prop, status, description);
}

void WebDAVMultistatusWriter::addPropstatForProperties(const WebDAVPropertyTable& properties, std::string_view status,
    std::optional<std::string_view> description)
{
    if (m_failed)
        return;
    m_body += "<D:propstat>";
    size_t prop = open("D:prop");
    WebDAVPropertyNameList failed;
    std::string element;
    for (const auto& [name, value] : properties) {
        if (name->isDead()) {
            auto xml = deadPropertyXML(*name, value);
            if (m_failed)
                return;
            if (xml)
                m_body += *xml;
            else
                failed.push_back(name);
            continue;
        }
        if (!elementNameForProperty(*name, element))
            return fail();
        if (*name == "resourcetype") {
            size_t start = open(element);
            if (value.isString() && value.string() == "collection")
                emptyElement("D:collection");
            close(element, start);
        } else if (*name == "supportedlock") {
            size_t start = open(element);
            std::string text = value.toString();
            if (text.find("exclusive") != std::string::npos)
                m_body += LockEntries[0];
            if (text.find("shared") != std::string::npos)
                m_body += LockEntries[1];
            close(element, start);
        } else if (*name == "lockdiscovery") {
            size_t start = open(element);
            addActiveLocks(value);
            close(element, start);
        } else if (value.isString()) {
            textElement(element, value.string());
        } else {
            textElement(element, value.toString());
        }
        if (m_failed)
            return;
    }
    endPropstat(prop, status, description);
    if (!failed.empty())
        addPropstatForPropertyNames(failed, DAVStatusLine(500, "Internal Server Error"), "Error retrieving named properties");
}

void WebDAVMultistatusWriter::addPropstatForResource(const WebDAVResource& resource, const WebDAVPropertyNameList& names)
{
    if (m_failed)
        return;
    auto table = resource.propertiesForNames(&names);
    if (!table.empty())
        addPropstatForProperties(table, DAVStatusLine(200, "OK"));
    auto missing = DAVMissingPropertyNames(table, names);
    if (!missing.empty())
        addPropstatForPropertyNames(missing, DAVStatusLine(404, "Not Found"));
}

std::string WebDAVMultistatusWriter::prologue() const
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\"";
    for (const auto& [prefix, uri] : m_namespaces)
        text += " xmlns:" + prefix + "=\"" + uri + "\"";
    text += m_body.empty() ? "/>\n" : ">";
    return text;
}

std::optional<core::Data> WebDAVMultistatusWriter::XMLData() const
{
    if (m_failed)
        return std::nullopt;
    std::string text = prologue();
    if (!m_body.empty()) {
        text.reserve(text.size() + m_body.size() + 32);
        text += m_body;
        text += "</D:multistatus>\n";
    }
    return core::Data(std::move(text));
}

std::optional<std::pair<std::string, std::string>> WebDAVMultistatusWriter::takeXMLPieces()
{
    if (m_failed)
        return std::nullopt;
    std::string start = prologue();
    if (!m_body.empty())
        m_body += "</D:multistatus>\n";
    return std::pair(std::move(start), std::exchange(m_body, std::string()));
}

void WebDAVMultistatusWriter::reserveForResponses(size_t count)
{
    // Members often write a little more than the first response (a file's
    // type): a quarter more spares growing the body by copies.
    m_body.reserve(m_body.size() * (count + 1) / 4 * 5 + 64);
}
