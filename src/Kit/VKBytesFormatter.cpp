#include "Kit/VKBytesFormatter.h"

#include "Platform/Core/Localized.h"

#include <cstdio>

namespace {

std::string printed(const char* format, double value)
{
    char text[64];
    int length = std::snprintf(text, sizeof text, format, value);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

void strip(std::string& number, std::string_view zeros)
{
    if (number.ends_with(zeros))
        number.resize(number.size() - zeros.size());
}

} // namespace

VKBytesFormatter& VKBytesFormatter::sharedFormatter()
{
    static VKBytesFormatter formatter;
    return formatter;
}

std::string VKBytesFormatter::formatBytesAsString(uint64_t n) const
{
    if (n == 0)
        return "0 KB";
    const bool strips = stripZeros();
    std::string number;
    const char* unit;
    // The fractional rows start from a single-precision float, as the
    // device's figures do: 1073741823 rounds up to 2^30 and reads "1024 MB".
    const float value = static_cast<float>(n);
    if (n <= 102) {
        number = std::to_string(n);
        unit = "B";
    } else if (n < 1024) {
        number = printed("%.1f", static_cast<double>(value / 1024.0f));
        if (strips)
            strip(number, ".0");
        unit = "KB";
    } else if (n < (uint64_t(1) << 20)) {
        number = std::to_string(n >> 10);
        unit = "KB";
    } else if (n < (uint64_t(1) << 30)) {
        number = printed("%.1f", static_cast<double>(value) * 0x1p-20);
        if (strips)
            strip(number, ".0");
        unit = "MB";
    } else {
        number = printed("%.2f", static_cast<double>(value) * 0x1p-30);
        if (strips)
            strip(number, ".00");
        unit = "GB";
    }
    return number + " " + core::localized(unit);
}
