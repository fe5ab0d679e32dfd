#pragma once

// The page text the bubble and the title view share: "5 of 120" for one
// visible page, "5-6 of 120" for two or more (first page counted from 0).

#include <string>

struct VKPageIndexRange {
    unsigned location = 0;
    unsigned length = 0;
    bool operator==(const VKPageIndexRange&) const = default;
};

std::string VKPageText(VKPageIndexRange range, unsigned pageCount);
