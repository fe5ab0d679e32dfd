// fuzz: tandry_kit
// Text parsed as a fragment in the context of an element that declares
// namespaces, as request bodies' property values are.

#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto document = CXMLDocument::initWithXMLString("<D:prop xmlns:D=\"DAV:\" xmlns=\"urn:default\"/>", 0);
    if (!document)
        return 0;
    auto root = document->rootElement();
    core::Error error;
    auto node = root->parseXMLStringInContext(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (node) {
        node->XMLString();
        root->addChild(node);
        document->XMLData();
        root->removeChildAtIndex(0);
    }
    return 0;
}
