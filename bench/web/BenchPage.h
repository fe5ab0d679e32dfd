#pragma once

// The web benchmarks' page: about 1 MB of headings and paragraphs, written
// as page.html into a folder.

#include <fstream>
#include <string>

namespace bench {

inline std::string makeBenchPage(const std::string& folder)
{
    std::string path = folder + "/page.html";
    std::ofstream page(path);
    page << "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Bench</title></head><body>";
    for (size_t size = 0, n = 0; size < 1'000'000; ++n) {
        std::string block = "<h2>Section " + std::to_string(n) + "</h2><p>"
            + std::string("The quick brown fox jumps over the lazy dog. ") + std::to_string(n * 7919)
            + " lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt.</p>\n";
        page << block;
        size += block.size();
    }
    page << "</body></html>";
    return path;
}

} // namespace bench
