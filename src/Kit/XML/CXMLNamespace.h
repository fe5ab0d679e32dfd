#pragma once

#include "Platform/Core/Object.h"

#include <memory>
#include <optional>
#include <string>

struct _xmlNs;

class CXMLDocument;

// A handle on one namespace declaration of a document, made on demand and
// kept by the document like node handles.
class CXMLNamespace : public core::Object {
public:
    ~CXMLNamespace() override;

    // xmlns="URI" or xmlns:prefix="URI".
    std::string description() const override;
    // Empty for a default namespace.
    std::string prefix() const;
    std::optional<std::string> URI() const;
    int type() const;
    // The next declaration on the same element.
    std::shared_ptr<CXMLNamespace> next() const;

    static std::shared_ptr<CXMLNamespace> namespaceWithLibXMLNs(_xmlNs* ns, CXMLDocument* document);
    _xmlNs* libxmlNs() const { return m_ns; }

private:
    friend class CXMLDocument;
    friend class CXMLNode;

    CXMLNamespace(_xmlNs* ns, CXMLDocument* document);

    _xmlNs* m_ns = nullptr;
    CXMLDocument* m_document = nullptr;
    // Where the owning document keeps this handle.
    size_t m_poolSlot = SIZE_MAX;
};
