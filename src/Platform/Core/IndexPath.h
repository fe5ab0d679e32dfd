#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace core {

// A path of indexes into nested lists: (section, row) of a table. A value:
// two index paths with the same indexes are equal wherever they were made,
// and hash alike, so they work as keys and in searches.
class IndexPath {
public:
    IndexPath() = default;
    IndexPath(std::initializer_list<size_t> indexes) : m_indexes(indexes) { }
    explicit IndexPath(std::vector<size_t> indexes) : m_indexes(std::move(indexes)) { }
    static IndexPath indexPathForRow(size_t row, size_t section) { return IndexPath { section, row }; }

    size_t length() const { return m_indexes.size(); }
    // The index at a position; kNotFound past the end.
    size_t indexAtPosition(size_t position) const;
    const std::vector<size_t>& indexes() const { return m_indexes; }
    size_t section() const { return indexAtPosition(0); }
    size_t row() const { return indexAtPosition(1); }

    // Index by index; a path that is a prefix of the other comes first.
    int compare(const IndexPath& other) const;
    bool operator==(const IndexPath& other) const { return m_indexes == other.m_indexes; }
    bool operator<(const IndexPath& other) const { return compare(other) < 0; }
    size_t hash() const;

    // "{0, 3}".
    std::string description() const;

private:
    std::vector<size_t> m_indexes;
};

} // namespace core

template<> struct std::hash<core::IndexPath> {
    size_t operator()(const core::IndexPath& path) const { return path.hash(); }
};
