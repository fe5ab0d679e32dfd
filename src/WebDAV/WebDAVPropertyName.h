#pragma once

#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <string_view>

class CXMLNode;

// The name of a WebDAV property. A live property (one the server computes)
// is named by its bare DAV: local name ("getetag"); a dead property (any
// property a client stores) by "com.kestrova.DAV.{namespace}localname",
// which is also the extended attribute that holds its value. Immutable.
class WebDAVPropertyName : public core::Object {
public:
    static constexpr std::string_view DeadPropertyPrefix = "com.kestrova.DAV.";

    static std::shared_ptr<WebDAVPropertyName> propertyNameWithName(std::string name);
    // A DAV: element with a live local name gives the live form, every other
    // element the dead form.
    static std::shared_ptr<WebDAVPropertyName> propertyNameWithElement(const CXMLNode& element);

    // The prefix, then "{", then a "}" somewhere after it, and more than two
    // characters beyond the prefix.
    static bool isValidDeadPropertyName(std::string_view name);
    // The dead name of a local name in a namespace.
    static std::string deadPropertyNameFor(std::string_view namespaceURI, std::string_view localName);

    const std::string& name() const { return m_name; }
    const std::string& stringValue() const { return m_name; }
    bool isDead() const;
    // "DAV:" for a live name; the text between the braces for a dead one.
    std::string URI() const;
    std::string localName() const;

    bool operator==(std::string_view name) const { return m_name == name; }
    bool isEqual(const core::Object& other) const override;
    size_t hash() const override;
    std::string description() const override { return m_name; }

protected:
    explicit WebDAVPropertyName(std::string name) : m_name(std::move(name)) { }

private:
    std::string m_name;
};

using WebDAVPropertyNameRef = std::shared_ptr<const WebDAVPropertyName>;
