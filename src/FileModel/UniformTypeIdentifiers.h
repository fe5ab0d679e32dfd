#pragma once

#include <optional>
#include <string>
#include <string_view>

// Uniform type identifiers by file extension, from the bundle's small table
// "UTTypes.plist" (read once): the identifier of an extension and the
// conformance between identifiers ("public.jpeg" is a "public.image").
// An extension the table does not know gets a dynamic identifier ("dyn.…")
// that conforms only to "public.data" and "public.item".

// Nothing for an empty extension; the extension's case is ignored.
std::optional<std::string> UTTypePreferredIdentifierForExtension(std::string_view extension);
// Whether `identifier` is `conformsTo` or conforms to it through the table.
bool UTTypeConformsTo(std::string_view identifier, std::string_view conformsTo);
