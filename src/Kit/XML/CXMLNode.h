#pragma once

#include "Platform/Core/Error.h"
#include "Platform/Core/Object.h"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _xmlNode;

class CXMLDocument;

// A handle on one node of a libxml2 tree; the tree is the only store of
// content. Handles are made on demand, one per node: the node points back at
// its handle, so asking twice gives the same object, and the document keeps
// every handle of its nodes alive. A handle that outlives its document, or
// whose node was freed, answers null or empty.
class CXMLNode : public core::Object {
public:
    using NodeList = std::vector<std::shared_ptr<CXMLNode>>;
    using NamespaceMappings = std::map<std::string, std::string, std::less<>>;

    // Node kinds (libxml2's type numbers).
    static constexpr int ElementKind = 1;
    static constexpr int AttributeKind = 2;
    static constexpr int TextKind = 3;
    static constexpr int CDATASectionKind = 4;
    static constexpr int CommentKind = 8;
    static constexpr int DocumentKind = 9;
    static constexpr int DocumentFragmentKind = 11;
    // Serialising options: indent the output; write the node as the whole
    // document's serialisation would, which names the output encoding on the
    // document and so keeps non-ASCII attribute text as it is rather than
    // as character references.
    static constexpr unsigned PrettyPrintOption = 0x1;
    static constexpr unsigned AsInDocumentOption = 0x2;

    ~CXMLNode() override;

    // Parses a well-balanced fragment in the context of this node (its
    // namespaces in scope) and answers its first node; nothing, with an error
    // in "CXMLErrorDomain" whose code is the parser's result, on failure.
    std::shared_ptr<CXMLNode> parseXMLStringInContext(std::string_view xml, core::Error* error = nullptr);
    // The nodes the expression selects from this node, in document order;
    // nothing when none match or the expression is invalid. The error is
    // always cleared.
    std::optional<NodeList> nodesForXPath(std::string_view xpath, const NamespaceMappings& mappings, core::Error* error = nullptr);
    std::optional<NodeList> nodesForXPath(std::string_view xpath, core::Error* error = nullptr);

    virtual std::optional<std::string> XMLStringWithOptions(unsigned options) const;
    std::optional<std::string> XMLString() const { return XMLStringWithOptions(0); }
    std::string description() const override;

    std::string prefix() const { return prefixForName(name()); }
    std::string localName() const { return localNameForName(name()); }
    // The namespace URI, else the document's URI.
    virtual std::optional<std::string> URI() const;

    // The removed child stays usable (and may be added elsewhere).
    virtual std::shared_ptr<CXMLNode> removeChildAtIndex(size_t index);
    // Adds a node of this document as the last child and answers it; a text
    // node merged into a neighbouring text answers the merged node. A node of
    // another document, or one added to a fragment, is copied (a fragment
    // takes the node without its children) and the copy is answered.
    virtual std::shared_ptr<CXMLNode> addChild(const std::shared_ptr<CXMLNode>& child);

    std::shared_ptr<CXMLNode> parent() const;
    NodeList children() const;
    size_t level() const;
    size_t index() const;

    // Replaces the content with the text (nothing clears it).
    virtual void setStringValue(std::optional<std::string_view> text);
    // The text content (of all descendants, for an element).
    std::optional<std::string> stringValue() const;
    // With the namespace prefix: "D:prop".
    virtual std::string name() const;
    int kind() const;

    // Frees a node that is in no tree (created and never added, or removed).
    void freeXMLNode();

    // "a:b" → "a" / "b"; a name without exactly one colon has no prefix.
    static std::string prefixForName(std::string_view name);
    static std::string localNameForName(std::string_view name);

    // The handle of a libxml2 node, made when there is none; nothing (and a
    // log line) for kinds other than element, attribute, text, CDATA,
    // comment and fragment.
    static std::shared_ptr<CXMLNode> nodeWithLibXMLNode(_xmlNode* node);
    _xmlNode* libxmlNode() const { return m_node; }
    // Text from libxml2: nothing for a null pointer or bytes that are not UTF-8.
    static std::optional<std::string> stringWithXMLChar(const unsigned char* text);

protected:
    explicit CXMLNode(_xmlNode* node);

    // The document that owns this node's handles, if any.
    CXMLDocument* owningDocument() const;
    // Clears the handles of a subtree whose nodes are about to be freed.
    static void forgetSubtree(_xmlNode* node);
    static void forgetNode(_xmlNode* node);

    _xmlNode* m_node = nullptr;

private:
    friend class CXMLDocument;

    void attach(_xmlNode* node);
    void detach();

    // Another handle of the same node: after a text merge, the handle of the
    // added text and that of the text it merged into both point at one node.
    CXMLNode* m_nextAlias = nullptr;
    // Where the owning document keeps this handle.
    size_t m_poolSlot = SIZE_MAX;
};
