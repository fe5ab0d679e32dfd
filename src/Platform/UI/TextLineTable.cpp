#include "Platform/UI/TextLineTable.h"

#include <algorithm>

namespace ui {

TextLineTable::TextLineTable(TextLineTable&& other) noexcept
{
    *this = std::move(other);
}

TextLineTable& TextLineTable::operator=(TextLineTable&& other) noexcept
{
    if (this == &other)
        return *this;
    m_groups = std::move(other.m_groups);
    m_count = std::exchange(other.m_count, 0);
    m_total = std::exchange(other.m_total, 0);
    m_groupClosed = std::exchange(other.m_groupClosed, true);
    m_checkpoints = std::move(other.m_checkpoints);
    m_text = std::exchange(other.m_text, std::nullopt);
    m_layout = std::move(other.m_layout);
    m_width = other.m_width;
    for (Opened& opened : m_opened)
        opened = {};
    return *this;
}

void TextLineTable::append(size_t start, size_t lines, bool segmented, std::vector<uint64_t> checkpoints)
{
    // Every paragraph takes a line.
    lines = std::max<size_t>(lines, 1);
    if (!m_groupClosed) {
        const Group& group = m_groups.back();
        if (segmented || m_count - group.first >= GroupParagraphs || start - group.start >= GroupBytes)
            m_groupClosed = true;
    }
    if (m_groupClosed)
        m_groups.push_back({ m_count, start, m_total });
    // One counted in segments stands alone: its count is the group's.
    m_groupClosed = segmented;
    if (!checkpoints.empty())
        m_checkpoints.emplace(m_count, std::move(checkpoints));
    ++m_count;
    m_total += lines;
}

void TextLineTable::bind(const TextStorage::Snapshot& text, std::shared_ptr<const TextLayout> layout, float width)
{
    std::lock_guard lock(m_mutex);
    m_text = text;
    m_layout = std::move(layout);
    m_width = width;
    for (Opened& opened : m_opened)
        opened = {};
}

size_t TextLineTable::groupOf(size_t index) const
{
    auto after = std::upper_bound(m_groups.begin(), m_groups.end(), uint64_t(index),
        [](uint64_t value, const Group& group) { return value < group.first; });
    return size_t(after - m_groups.begin()) - 1;
}

size_t TextLineTable::groupEnd(size_t group) const
{
    return group + 1 < m_groups.size() ? size_t(m_groups[group + 1].first) : m_count;
}

uint64_t TextLineTable::groupLinesEnd(size_t group) const
{
    return group + 1 < m_groups.size() ? m_groups[group + 1].above : m_total;
}

const TextLineTable::Opened& TextLineTable::open(size_t group) const
{
    for (const Opened& opened : m_opened)
        if (opened.group == group)
            return opened;
    Opened& opened = m_opened[m_nextOpened];
    m_nextOpened = (m_nextOpened + 1) % std::size(m_opened);
    opened.group = group;
    opened.starts.clear();
    opened.above.clear();
    const Group& first = m_groups[group];
    size_t count = groupEnd(group) - size_t(first.first);
    uint64_t above = first.above;
    const size_t start = size_t(first.start);
    // The group's bytes read at once: its paragraphs end where the next
    // group starts (the last one's at the text's end).
    std::string scratch;
    std::string_view bytes;
    if (m_text) {
        size_t end = group + 1 < m_groups.size() ? size_t(m_groups[group + 1].start) : m_text->size();
        bytes = m_text->view(start, end > start ? end - start : 0, scratch);
    }
    size_t local = 0;
    for (size_t k = 0; k < count; ++k) {
        opened.starts.push_back(start + local);
        opened.above.push_back(above);
        size_t lines = 1;
        if (m_text && local <= bytes.size()) {
            size_t stop = std::min(bytes.find('\n', local), bytes.size());
            size_t length = stop - local;
            if (length > 0 && bytes[stop - 1] == '\r')
                --length;
            lines = std::max<size_t>(m_layout->lineCount(bytes.substr(local, length), m_width), 1);
            local = stop + 1;
        }
        above += lines;
    }
    opened.above.push_back(above);
    return opened;
}

uint64_t TextLineTable::linesBefore(size_t index) const
{
    if (index == 0 || m_groups.empty())
        return 0;
    if (index >= m_count)
        return m_total;
    size_t group = groupOf(index);
    if (index == m_groups[group].first)
        return m_groups[group].above;
    std::lock_guard lock(m_mutex);
    // The group's own sum stands when wrapping it again disagrees (a text
    // not bound, or changed under it).
    return std::min(open(group).above[index - size_t(m_groups[group].first)], groupLinesEnd(group) - 1);
}

size_t TextLineTable::paragraphAtLine(uint64_t line) const
{
    if (m_groups.empty())
        return 0;
    if (line >= m_total)
        return m_count - 1;
    // The last group starting at or above the line (every paragraph takes
    // a line, so the counts rise group by group), then its paragraph
    // running past it.
    auto after = std::upper_bound(m_groups.begin(), m_groups.end(), line,
        [](uint64_t value, const Group& group) { return value < group.above; });
    size_t group = size_t(after - m_groups.begin()) - 1;
    size_t first = size_t(m_groups[group].first);
    size_t end = groupEnd(group);
    if (end - first == 1)
        return first;
    std::lock_guard lock(m_mutex);
    const Opened& opened = open(group);
    auto through = std::upper_bound(opened.above.begin(), opened.above.end() - 1, line);
    return std::min(end - 1, first + size_t(through - opened.above.begin()) - 1);
}

size_t TextLineTable::paragraphStart(size_t index) const
{
    if (index >= m_count)
        return std::string::npos;
    size_t group = groupOf(index);
    if (index == m_groups[group].first)
        return size_t(m_groups[group].start);
    std::lock_guard lock(m_mutex);
    return size_t(open(group).starts[index - size_t(m_groups[group].first)]);
}

const std::vector<uint64_t>& TextLineTable::checkpoints(size_t index) const
{
    static const std::vector<uint64_t> none;
    auto found = m_checkpoints.find(index);
    return found == m_checkpoints.end() ? none : found->second;
}

void TextLineTable::shrinkToFit()
{
    m_groups.shrink_to_fit();
}

size_t TextLineTable::memoryBytesForTesting() const
{
    size_t bytes = m_groups.capacity() * sizeof(Group);
    for (const auto& [index, checkpoints] : m_checkpoints)
        bytes += checkpoints.capacity() * sizeof(uint64_t) + 32;
    return bytes;
}

} // namespace ui
