#pragma once

// A row's place in a table: (section, row), ordered section first.

#include <compare>
#include <cstddef>
#include <functional>
#include <string>

namespace ui {

struct IndexPath {
    int section = 0;
    int row = 0;

    constexpr auto operator<=>(const IndexPath&) const = default;
    std::string description() const { return "(" + std::to_string(section) + ", " + std::to_string(row) + ")"; }
};

} // namespace ui

template<> struct std::hash<ui::IndexPath> {
    size_t operator()(const ui::IndexPath& path) const
    {
        return std::hash<long long>()((static_cast<long long>(path.section) << 32) ^ static_cast<unsigned>(path.row));
    }
};
