#pragma once

// Drawings that ask a renderer for far more than their bytes: uses nested
// ten deep, each level ten copies of the one below (10^10 squares).

#include <fmt/format.h>

#include <string>

namespace test {

inline std::string nestedUsesSVG()
{
    std::string nested = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'>"
                         "<defs><rect id='l0' width='1' height='1'/>";
    for (int level = 1; level <= 10; ++level) {
        nested += fmt::format("<g id='l{}'>", level);
        for (int copy = 0; copy < 10; ++copy)
            nested += fmt::format("<use xlink:href='#l{}' x='{}'/>", level - 1, copy);
        nested += "</g>";
    }
    return nested + "</defs><use xlink:href='#l10'/></svg>";
}

} // namespace test
