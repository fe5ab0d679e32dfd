#include "Platform/UI/TextLineCounter.h"

#include <algorithm>

namespace ui {

namespace {

// Paragraphs longer than this are counted line by line (with checkpoints)
// instead of in one call.
constexpr size_t LongParagraphBytes = 64 * 1024;

} // namespace

TextLineCounter::TextLineCounter(std::shared_ptr<const TextLayout> layout, float width)
    : m_layout(std::move(layout))
    , m_width(width)
{
}

bool TextLineCounter::advance(const TextStorage::Snapshot& text, const std::function<bool()>& stop)
{
    for (size_t counted = 0; !m_complete; ++counted) {
        if (stop && (counted & 1023) == 0 && stop())
            return false;
        if (m_lines == 0 && m_lineStart <= m_start && text.chunkCount() > 0 && !countInChunk(text, stop))
            return false;
        size_t end = text.findLineEnd(m_start);
        bool last = end == std::string::npos;
        if (last && !text.isComplete()) {
            // The last paragraph may still grow: a long one is counted up
            // to its last line, a short one waits.
            if (text.size() - m_start > LongParagraphBytes)
                return countLong(text, text.size(), false, stop);
            return true;
        }
        size_t paragraphEnd = last ? text.size() : end;
        if (paragraphEnd > m_start && text.at(paragraphEnd - 1) == '\r')
            --paragraphEnd;
        if (m_lines > 0 || m_lineStart > m_start || paragraphEnd - m_start > LongParagraphBytes) {
            if (!countLong(text, paragraphEnd, true, stop))
                return false;
            m_table.append(m_start, m_lines, true, std::move(m_checkpoints));
        } else {
            std::string_view paragraph = text.view(m_start, paragraphEnd - m_start, m_scratch);
            m_table.append(m_start, m_layout->lineCount(paragraph, m_width));
        }
        m_lines = 0;
        m_checkpoints = {};
        if (last) {
            m_complete = true;
            m_table.shrinkToFit();
            m_table.bind(text, m_layout, m_width);
            m_scratch = {};
            return true;
        }
        m_start = m_lineStart = end + 1;
    }
    return true;
}

// The paragraphs from m_start that end in the chunk holding it, read in one
// piece, up to a long one; false when `stop` said so.
bool TextLineCounter::countInChunk(const TextStorage::Snapshot& text, const std::function<bool()>& stop)
{
    size_t index = text.chunkIndexAt(m_start);
    const TextStorage::Chunk& chunk = text.chunk(index);
    if (m_start < chunk.start || chunk.lineEndCount == 0)
        return true;
    // The chunk from m_start on (read back from its file when backed).
    std::string_view bytes = text.view(m_start, chunk.start + chunk.length - m_start, m_scratch);
    size_t local = 0;
    bool going = true;
    for (size_t counted = 1;; ++counted) {
        size_t end = bytes.find('\n', local);
        if (end == std::string_view::npos)
            break;
        size_t length = end - local;
        if (length > LongParagraphBytes)
            break;
        if (length > 0 && bytes[end - 1] == '\r')
            --length;
        m_table.append(m_start + local, m_layout->lineCount(bytes.substr(local, length), m_width));
        local = end + 1;
        if (stop && (counted & 1023) == 0 && stop()) {
            going = false;
            break;
        }
    }
    m_start += local;
    m_lineStart = m_start;
    return going;
}

bool TextLineCounter::countLong(const TextStorage::Snapshot& text, size_t end, bool whole,
    const std::function<bool()>& stop)
{
    m_lineStart = std::max(m_lineStart, m_start);
    size_t segment = SegmentBytes;
    while (m_lineStart < end) {
        if (stop && stop())
            return false;
        size_t length = std::min(end - m_lineStart, segment);
        bool reachesEnd = m_lineStart + length == end;
        std::string_view part = text.view(m_lineStart, length, m_scratch);
        // The last line of a part waits: the text after the part may belong to it.
        size_t last = 0;
        bool first = true;
        m_layout->forEachLine(part, m_width, [&](size_t start, size_t) {
            if (!first)
                commitLine(m_lineStart + last);
            first = false;
            last = start;
            return true;
        });
        if (reachesEnd && whole) {
            commitLine(m_lineStart + last);
            m_lineStart = end;
            return true;
        }
        if (last == 0) {
            // One line fills the part: a larger part, or wait for more text.
            if (reachesEnd)
                return true;
            segment *= 2;
            continue;
        }
        m_lineStart += last;
        if (reachesEnd)
            return true;
        segment = SegmentBytes;
    }
    return true;
}

void TextLineCounter::commitLine(size_t lineStart)
{
    if (m_lines > 0 && m_lines % TextLineTable::CheckpointLines == 0)
        m_checkpoints.push_back(uint64_t(lineStart - m_start));
    ++m_lines;
}

TextLineTable TextLineCounter::takeTable()
{
    return std::move(m_table);
}

} // namespace ui
