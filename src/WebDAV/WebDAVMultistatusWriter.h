#pragma once

#include "WebDAV/WebDAVResource.h"

#include "Platform/Core/Data.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CXMLDocument;
class CXMLElement;

// A 207 Multi-Status body written straight as text: byte for byte what the
// document additions (CXMLDocumentWebDAVResponseExtensions) build and
// serialise, but without a tree, so that listing thousands of members costs
// a few appends each. Whatever the tree would treat in a way of its own
// (text that is not clean UTF-8 or holds a NUL, names with more than one
// colon, quotes in a namespace) makes the writer give up: the caller then
// builds the document instead. Stored dead values still go through the XML
// parser, in the context of a small stand-in document.
class WebDAVMultistatusWriter {
public:
    WebDAVMultistatusWriter();
    ~WebDAVMultistatusWriter();

    // <D:response><D:href>…</D:href>, then the propstats, then endResponse().
    void beginResponse(const WebDAVResource& resource);
    void endResponse();
    void addPropstatForProperties(const WebDAVPropertyTable& properties, std::string_view status,
        std::optional<std::string_view> description = std::nullopt);
    void addPropstatForPropertyNames(const WebDAVPropertyNameList& names, std::string_view status,
        std::optional<std::string_view> description = std::nullopt);
    // 200 for the names the resource answers, 404 for the others.
    void addPropstatForResource(const WebDAVResource& resource, const WebDAVPropertyNameList& names);

    // True once the writer gave up; the body is then nothing.
    bool failed() const { return m_failed; }
    // The whole body with its declaration, in UTF-8.
    std::optional<core::Data> XMLData() const;
    // The same body taken from the writer in two pieces, so that the large
    // one is never copied: the declaration and the root's start tag, then
    // everything after them.
    std::optional<std::pair<std::string, std::string>> takeXMLPieces();
    // Room for `count` responses like those written so far.
    void reserveForResponses(size_t count);

private:
    // Elements whose content may turn out empty ("<x/>"): open() answers
    // where the content starts, close() ends the element either way.
    size_t open(std::string_view name);
    void close(std::string_view name, size_t contentStart);
    void emptyElement(std::string_view name);
    void textElement(std::string_view name, std::string_view text);
    // Closes "D:prop", then the status and description, then "D:propstat".
    void endPropstat(size_t propStart, std::string_view status, std::optional<std::string_view> description);
    // The qualified name the property's element gets; a new foreign
    // namespace is declared on the root.
    // False when the tree would write it otherwise. `element` is reused
    // from call to call, so that a listing allocates no name per property.
    bool elementNameForProperty(const WebDAVPropertyName& name, std::string& element);
    // The stored XML of a dead value as the tree would write it; nothing
    // when it does not parse to an element.
    std::optional<std::string> deadPropertyXML(const WebDAVPropertyName& name, const core::Value& value);
    void addActiveLocks(const core::Value& locks);
    // The declaration and the root's start tag, with its namespaces.
    std::string prologue() const;
    void fail() { m_failed = true; }

    std::string m_body;
    // The root's declarations after "D", in order: prefix, URI.
    std::vector<std::pair<std::string, std::string>> m_namespaces;
    // Where dead values are parsed: a root declaring what ours declares.
    std::shared_ptr<CXMLDocument> m_context;
    std::shared_ptr<CXMLElement> m_contextProp;
    bool m_failed = false;
};
