#pragma once

#include "Kit/XML/CXMLNode.h"
#include "Platform/Core/Data.h"

#include <vector>

struct _xmlDoc;

namespace core {
class URL;
}

class CXMLElement;
class CXMLNamespace;

// An XML (or HTML) document: parsed from bytes, built from scratch, written
// back as bytes. It owns the libxml2 tree and every handle made for its nodes
// and namespaces. Parsing never loads a DTD, substitutes entities or touches
// the network, and libxml2 prints nothing.
class CXMLDocument : public CXMLNode {
public:
    // Parsing option: use the HTML parser (which recovers from errors).
    static constexpr unsigned HTMLOption = 2;
    static constexpr const char* ErrorDomain = "CXMLErrorDomain";

    // The parsed document. Nothing, with error code 3, when the bytes give no
    // document; a fatal error in a document built all the same reaches the
    // error out, lesser ones only the log. HTML is also chosen when the bytes
    // begin "<!DOCTYPE html".
    static std::shared_ptr<CXMLDocument> initWithData(const core::Data& data, unsigned options, core::Error* error = nullptr);
    static std::shared_ptr<CXMLDocument> initWithXMLString(std::string_view xml, unsigned options, core::Error* error = nullptr);
    // A new empty document, version "1.0".
    static std::shared_ptr<CXMLDocument> createDocument();

    ~CXMLDocument() override;

    std::optional<std::string> version() const;
    std::optional<std::string> URI() const override;
    // libxml2's view of the namespaces while parsing: false for a document
    // such as <bar:foo xmlns:bar=""/>.
    bool isNamespaceWellFormed() const { return m_namespaceWellFormed; }

    std::string name() const override { return {}; }
    void setStringValue(std::optional<std::string_view>) override { }

    std::shared_ptr<CXMLElement> rootElement() const;
    // Makes the element the root and answers the old root, removed.
    std::shared_ptr<CXMLElement> setRootElement(const std::shared_ptr<CXMLElement>& element);
    // Both act on the root element.
    std::shared_ptr<CXMLNode> addChild(const std::shared_ptr<CXMLNode>& child) override;
    std::shared_ptr<CXMLNode> removeChildAtIndex(size_t index) override;

    // In the declared encoding, else UTF-8.
    std::optional<core::Data> XMLData() const { return XMLDataWithOptions(0); }
    std::optional<core::Data> XMLDataWithOptions(unsigned options) const;
    std::optional<std::string> XMLStringWithOptions(unsigned options) const override;
    std::string description() const override;

    std::shared_ptr<CXMLElement> elementWithName(std::string_view name);
    // A qualified name in a namespace: a prefix already declared for that URI
    // at the root is reused, otherwise the element declares it.
    std::shared_ptr<CXMLElement> elementWithName(std::string_view name, std::optional<std::string_view> URI);

    // How many node and namespace handles the document keeps.
    size_t nodePoolCount() const { return m_nodePool.size(); }

private:
    friend class CXMLNode;
    friend class CXMLNamespace;

    explicit CXMLDocument(_xmlDoc* document);
    static std::shared_ptr<CXMLDocument> parse(const char* bytes, size_t length, unsigned options, core::Error* error);
    std::optional<std::string> XMLDataWithOptions(unsigned options, const char* encoding) const;

    // The pool is a plain array: each handle remembers its slot, so adding
    // and removing cost the same at any size (a removed entry takes the last
    // one's place).
    struct PoolEntry {
        std::shared_ptr<core::Object> handle;
        CXMLNode* node = nullptr;
        CXMLNamespace* ns = nullptr;
    };
    static constexpr size_t NotPooled = SIZE_MAX;
    void addToPool(std::shared_ptr<CXMLNode> node);
    void addToPool(std::shared_ptr<CXMLNamespace> ns);
    // Nothing when the handle is not in this pool.
    void removeFromPool(const core::Object* handle, size_t& slot);

    std::vector<PoolEntry> m_nodePool;
    bool m_namespaceWellFormed = true;
};
