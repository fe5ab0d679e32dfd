#include "Support/ViewTreeDumpQuery.h"

#include <cstdio>
#include <vector>

namespace test {

std::optional<std::pair<int, int>> viewCentreInDump(const std::string& dump, const std::string& text,
    const std::string& after)
{
    std::vector<std::pair<float, float>> origins;
    bool looking = after.empty();
    size_t start = 0;
    while (start < dump.size()) {
        size_t end = dump.find('\n', start);
        std::string line = dump.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? dump.size() : end + 1;
        size_t depth = line.find_first_not_of(' ') / 2;
        float x = 0, y = 0, w = 0, h = 0;
        size_t open = line.find('(');
        if (open == std::string::npos || std::sscanf(line.c_str() + open, "(%f, %f, %f, %f)", &x, &y, &w, &h) != 4)
            continue;
        origins.resize(depth);
        float ox = x, oy = y;
        for (auto& [ax, ay] : origins)
            ox += ax, oy += ay;
        if (looking && line.find(text) != std::string::npos)
            return std::pair<int, int>(int(ox + w / 2), int(oy + h / 2));
        if (!looking && line.find(after) != std::string::npos)
            looking = true;
        origins.emplace_back(x, y);
    }
    return std::nullopt;
}

} // namespace test
