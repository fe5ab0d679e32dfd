// fuzz: tandry_platform_core
// Date texts arrive in HTTP headers, WebDAV properties and cloud answers.
// The input is a pattern, a newline and the text to read with it.

#include "Platform/Core/DateFormatter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t newline = input.find('\n');
    std::string_view pattern = newline == std::string_view::npos ? "EEE, dd MMM yyyy HH:mm:ss 'GMT'" : input.substr(0, newline);
    std::string_view text = newline == std::string_view::npos ? input : input.substr(newline + 1);
    auto formatter = core::DateFormatter::posix(pattern);
    if (auto date = formatter.parse(text))
        formatter.format(*date);
    return 0;
}
