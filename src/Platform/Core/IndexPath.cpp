#include "Platform/Core/IndexPath.h"

#include "Platform/Core/Range.h"

#include <algorithm>

namespace core {

size_t IndexPath::indexAtPosition(size_t position) const
{
    return position < m_indexes.size() ? m_indexes[position] : kNotFound;
}

int IndexPath::compare(const IndexPath& other) const
{
    auto order = std::lexicographical_compare_three_way(m_indexes.begin(), m_indexes.end(), other.m_indexes.begin(),
        other.m_indexes.end());
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

size_t IndexPath::hash() const
{
    size_t seed = m_indexes.size();
    for (size_t index : m_indexes)
        seed ^= std::hash<size_t>()(index) + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
    return seed;
}

std::string IndexPath::description() const
{
    std::string text = "{";
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        if (i)
            text += ", ";
        text += std::to_string(m_indexes[i]);
    }
    return text + "}";
}

} // namespace core
