#pragma once

#include "WebDAV/WebDAVPropertyName.h"

#include "Platform/Core/Value.h"

class CXMLElement;

// A property with the value a PROPPATCH "set" gives it: the element's text
// for a live property, for a dead one the element itself as XML that can be
// stored alone (its namespace declared, DAV: elements under "D").
class WebDAVProperty : public WebDAVPropertyName {
public:
    static std::shared_ptr<WebDAVProperty> propertyWithElement(CXMLElement& element);

    const core::Value& value() const { return m_value; }
    std::string description() const override;

private:
    WebDAVProperty(std::string name, core::Value value) : WebDAVPropertyName(std::move(name)), m_value(std::move(value)) { }

    core::Value m_value;
};
