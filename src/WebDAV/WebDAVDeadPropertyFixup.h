#pragma once

#include <optional>
#include <string>

class CXMLElement;

// The element additions that make a dead property's XML storable on its own:
// stored text is later parsed back wherever "D" means "DAV:", so DAV:
// elements are renamed under "D", and the element's namespace is declared on
// the element itself.
void fixupForDeadPropertyStorage(CXMLElement& element);
void setPrefixRecursivelyForDeadStorage(CXMLElement& element, const std::string& prefix);

// The fixed-up element as text carrying every namespace declaration it
// needs, also those declared on its ancestors in the request body.
std::optional<std::string> deadPropertyStorageString(CXMLElement& element);
