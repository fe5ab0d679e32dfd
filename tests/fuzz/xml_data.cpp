// fuzz: tandry_kit
// Bytes parsed as an XML or HTML document (the first byte chooses), then
// walked, queried and written out.

#include "Kit/XML/CXMLDocument.h"
#include "Kit/XML/CXMLElement.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    unsigned options = (data[0] & 1) ? CXMLDocument::HTMLOption : 0;
    core::Error error;
    auto document = CXMLDocument::initWithData(core::Data(data + 1, size - 1), options, &error);
    if (!document)
        return 0;
    std::vector<std::shared_ptr<CXMLNode>> pending { document };
    size_t visited = 0;
    while (!pending.empty() && visited < 10000) {
        auto node = pending.back();
        pending.pop_back();
        ++visited;
        node->name();
        node->stringValue();
        if (auto element = std::dynamic_pointer_cast<CXMLElement>(node)) {
            element->attributes();
            element->namespaces();
            element->elementsForName("a");
        }
        for (auto& child : node->children())
            pending.push_back(child);
    }
    document->nodesForXPath("//*[@*]");
    document->XMLData();
    document->XMLStringWithOptions(CXMLNode::PrettyPrintOption);
    if (auto root = document->rootElement())
        document->removeChildAtIndex(0);
    return 0;
}
