// fuzz: tandry_kit
// HTTP dates arrive in If-Modified-Since and other request headers, ISO 8601
// dates in WebDAV properties and cloud answers. A date that reads must
// format and read back to itself.

#include "Kit/HTTPDates.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto date = dateWithRFC1123String(text)) {
        if (dateWithRFC1123String(RFC1123String(*date)) != date)
            std::abort();
    }
    if (auto date = dateWithISO8601String(text)) {
        auto again = dateWithISO8601String(ISO8601String(*date));
        if (!again || again->timeIntervalSinceReferenceDate() != date->timeIntervalSinceReferenceDate())
            std::abort();
    }
    return 0;
}
