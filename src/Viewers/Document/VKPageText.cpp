#include "Viewers/Document/VKPageText.h"

#include <fmt/format.h>

std::string VKPageText(VKPageIndexRange range, unsigned pageCount)
{
    unsigned long long first = range.location + 1ull;
    if (range.length < 2)
        return fmt::format("{} of {}", first, pageCount);
    return fmt::format("{}-{} of {}", first, static_cast<unsigned long long>(range.location) + range.length, pageCount);
}
