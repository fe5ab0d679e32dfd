#pragma once

#include "Viewers/RTF/Converter2HTML.h"

#include <sstream>
#include <string>
#include <string_view>

namespace rtf_test {

// The whole HTML of a document, empty when the conversion fails.
inline std::string html(std::string_view rtf)
{
    rtf::Converter2HTML converter;
    rtf::Params params;
    std::istringstream in { std::string(rtf) };
    return converter.Convert(in, params);
}

// What a document writes between its body opening and its end; with
// `fromBodyTag`, from the body tag on.
inline std::string body(std::string_view rtf, bool fromBodyTag = false)
{
    std::string document = html(rtf);
    size_t start = document.find("<body width=");
    size_t end = document.rfind("\n</body>");
    if (start == std::string::npos || end == std::string::npos || end < start)
        return "(no body) " + document;
    if (!fromBodyTag)
        start = document.find('\n', start) + 1;
    return document.substr(start, end - start);
}

// Everything before the body: the head and what the information group wrote.
inline std::string head(std::string_view rtf)
{
    std::string document = html(rtf);
    return document.substr(0, document.find("<meta name=\"viewport\""));
}

} // namespace rtf_test
