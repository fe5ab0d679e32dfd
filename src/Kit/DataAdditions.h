#pragma once

#include "Platform/Core/Data.h"
#include "Platform/Core/Range.h"

#include <optional>
#include <string>

// Additions to data: Base64 and hexadecimal text, UTF-8 reading and a search
// for a byte pattern.

// Base64 of the bytes, with a CR LF after every 64 characters but the last
// line's when `lineBreaks` is set.
std::string vkStringByEncodingBase64WithLineBreaks(const core::Data& data, bool lineBreaks);
std::string vkStringByEncodingBase64(const core::Data& data);

// Two lower-case hexadecimal digits per byte: 00 ff gives "00ff".
std::string vkHexRepresentation(const core::Data& data);

// The bytes as text when they are well-formed UTF-8.
std::optional<std::string> vkUTF8String(const core::Data& data);

// Where `pattern` first occurs wholly inside `range` of the data; the
// location counts from the start of the data. No match, or an empty
// pattern, gives (kNotFound, 0). A range reaching past the data throws
// NSRangeException.
core::Range vkRangeOfData(const core::Data& data, const core::Data& pattern, core::Range range);
core::Range vkRangeOfData(const core::Data& data, const core::Data& pattern);
