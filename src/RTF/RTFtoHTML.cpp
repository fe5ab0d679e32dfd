#include "RTF/RTFtoHTML.h"

#include "Platform/Core/FileSystem.h"
#include "Platform/Core/PercentEscape.h"
#include "RTF/Converter2HTML.h"

#include <filesystem>
#include <fstream>

std::optional<std::string> convertRTFAtPathToHTML(const std::string& path, core::Error* error)
{
    auto failed = [&]() -> std::optional<std::string> {
        core::setError(error, core::Error(RTFtoHTMLDomain, -1));
        return std::nullopt;
    };
    // Only regular files: a folder reads as an error, a device or a pipe may
    // never end.
    std::error_code code;
    if (!core::fs::isReadable(path) || !std::filesystem::is_regular_file(path, code))
        return failed();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return failed();

    rtf::Converter2HTML converter;
    rtf::Params params;
    const std::string& html = converter.Convert(in, params);
    // A read error fails the conversion; its output is never a success.
    if (html.empty() || in.bad() || !core::isValidUTF8(html))
        return failed();
    return converter.TakeOutput();
}
