#include "Platform/UI/TextLineTable.h"

#include <algorithm>

namespace ui {

void TextLineTable::append(size_t lines, std::vector<uint64_t> checkpoints)
{
    // Every paragraph takes a line.
    lines = std::max<size_t>(lines, 1);
    size_t index = m_lines.size();
    if (index % GroupParagraphs == 0)
        m_groups.push_back(m_total);
    if (lines - 1 < Large) {
        m_lines.push_back(uint8_t(lines - 1));
    } else {
        m_lines.push_back(Large);
        m_large.emplace(index, uint64_t(lines));
    }
    m_total += lines;
    if (!checkpoints.empty())
        m_checkpoints.emplace(index, std::move(checkpoints));
}

uint64_t TextLineTable::lines(size_t index) const
{
    uint8_t stored = m_lines[index];
    return stored == Large ? m_large.at(index) : uint64_t(stored) + 1;
}

uint64_t TextLineTable::linesBefore(size_t index) const
{
    if (index == 0 || m_lines.empty())
        return 0;
    if (index >= m_lines.size())
        return m_total;
    size_t group = index / GroupParagraphs;
    uint64_t above = m_groups[group];
    for (size_t at = group * GroupParagraphs; at < index; ++at)
        above += lines(at);
    return above;
}

size_t TextLineTable::paragraphAtLine(uint64_t line) const
{
    if (m_lines.empty())
        return 0;
    if (line >= m_total)
        return m_lines.size() - 1;
    // The last group starting at or above the line (every paragraph takes
    // a line, so the counts rise group by group), then its paragraph
    // running past it.
    auto after = std::upper_bound(m_groups.begin(), m_groups.end(), line);
    size_t group = size_t(after - m_groups.begin()) - 1;
    uint64_t through = m_groups[group];
    size_t end = std::min(m_lines.size(), (group + 1) * GroupParagraphs);
    for (size_t at = group * GroupParagraphs; at < end; ++at) {
        through += lines(at);
        if (line < through)
            return at;
    }
    return end - 1;
}

const std::vector<uint64_t>& TextLineTable::checkpoints(size_t index) const
{
    static const std::vector<uint64_t> none;
    auto found = m_checkpoints.find(index);
    return found == m_checkpoints.end() ? none : found->second;
}

void TextLineTable::shrinkToFit()
{
    m_lines.shrink_to_fit();
    m_groups.shrink_to_fit();
}

} // namespace ui
