#include "WebDAV/WebDAVProperty.h"

#include "Kit/XML/CXMLElement.h"
#include "WebDAV/WebDAVDeadPropertyFixup.h"

#include <fmt/format.h>

std::shared_ptr<WebDAVProperty> WebDAVProperty::propertyWithElement(CXMLElement& element)
{
    auto name = propertyNameWithElement(element);
    core::Value value;
    if (name->isDead()) {
        fixupForDeadPropertyStorage(element);
        if (auto xml = deadPropertyStorageString(element))
            value = *xml;
    } else if (auto text = element.stringValue()) {
        value = *text;
    }
    return std::shared_ptr<WebDAVProperty>(new WebDAVProperty(name->name(), std::move(value)));
}

std::string WebDAVProperty::description() const
{
    return fmt::format("{} - {}", name(), m_value.toString());
}
