#include "RTF/RTFtoHTML.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/PercentEscape.h"
#include "RTF/Converter2HTML.h"

#include <sstream>

std::optional<std::string> convertRTFAtPathToHTML(const std::string& path, core::Error* error)
{
    auto failed = [&]() -> std::optional<std::string> {
        core::setError(error, core::Error(RTFtoHTMLDomain, -1));
        return std::nullopt;
    };
    // Only a regular file is read: a device or a pipe may never end.
    core::Data contents;
    if (!core::fs::readFile(path, contents))
        return failed();
    std::istringstream in(std::string(contents.view()));

    rtf::Converter2HTML converter;
    rtf::Params params;
    const std::string& html = converter.Convert(in, params);
    if (html.empty() || !core::isValidUTF8(html))
        return failed();
    return converter.TakeOutput();
}
