#include "Platform/UI/TextLineTable.h"

#include <algorithm>
#include <limits>

namespace ui {

void TextLineTable::append(size_t lines, std::vector<uint64_t> checkpoints)
{
    // A new block every BlockParagraphs paragraphs, or sooner when the
    // running count would not fit in four bytes.
    if (m_blocks.empty() || m_running.size() - m_blocks.back().first >= BlockParagraphs
        || m_total + lines - m_blocks.back().base > std::numeric_limits<uint32_t>::max())
        m_blocks.push_back({ m_running.size(), m_total });
    m_total += lines;
    // A single paragraph past four billion lines saturates its block's count.
    m_running.push_back(uint32_t(std::min<uint64_t>(m_total - m_blocks.back().base, std::numeric_limits<uint32_t>::max())));
    if (!checkpoints.empty())
        m_checkpoints.emplace(m_running.size() - 1, std::move(checkpoints));
}

size_t TextLineTable::blockOf(size_t index) const
{
    auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), index,
        [](size_t value, const Block& block) { return value < block.first; });
    return size_t(after - m_blocks.begin()) - 1;
}

uint64_t TextLineTable::linesBefore(size_t index) const
{
    if (index == 0 || m_running.empty())
        return 0;
    if (index >= m_running.size())
        return m_total;
    const Block& block = m_blocks[blockOf(index - 1)];
    return block.base + m_running[index - 1];
}

size_t TextLineTable::paragraphAtLine(uint64_t line) const
{
    if (m_running.empty())
        return 0;
    if (line >= m_total)
        return m_running.size() - 1;
    // The last block starting at or above the line, then the first of its
    // paragraphs running past it.
    auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), line,
        [](uint64_t value, const Block& block) { return value < block.base; });
    // Every paragraph takes a line, so bases rise block by block.
    auto block = after - 1;
    size_t end = block + 1 == m_blocks.end() ? m_running.size() : (block + 1)->first;
    auto first = m_running.begin() + long(block->first);
    auto found = std::upper_bound(first, m_running.begin() + long(end), uint64_t(line - block->base),
        [](uint64_t value, uint32_t running) { return value < running; });
    return std::min(size_t(found - m_running.begin()), m_running.size() - 1);
}

const std::vector<uint64_t>& TextLineTable::checkpoints(size_t index) const
{
    static const std::vector<uint64_t> none;
    auto found = m_checkpoints.find(index);
    return found == m_checkpoints.end() ? none : found->second;
}

void TextLineTable::shrinkToFit()
{
    m_running.shrink_to_fit();
    m_blocks.shrink_to_fit();
}

} // namespace ui
