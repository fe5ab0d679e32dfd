#pragma once

// Counts the wrapped lines of a large text into a TextLineTable, paragraph
// by paragraph, on a worker, following a storage as it grows: each call
// counts what the snapshot holds and the next goes on from there, so a
// count that runs beside the decoding ends right after it.
//
// Paragraphs are wrapped straight from the storage's chunks. One longer
// than a segment (a log line of many mebibytes, a file without a line end)
// is wrapped a segment at a time: every line of a segment but its last is
// final (its break was decided inside the segment), so the next segment
// starts at that last line; its checkpoints are taken on the way.

#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextLineTable.h"
#include "Platform/UI/TextStorage.h"

#include <functional>
#include <memory>

namespace ui {

class TextLineCounter {
public:
    // Paragraphs longer than this are wrapped a segment at a time.
    static constexpr size_t SegmentBytes = size_t(1) << 20;

    TextLineCounter(std::shared_ptr<const TextLayout> layout, float width);

    // Counts what `text` adds to what was counted; false when `stop` said
    // so (checked between paragraphs and segments).
    bool advance(const TextStorage::Snapshot& text, const std::function<bool()>& stop = {});
    // Whether the whole text (a complete snapshot's) is counted.
    bool isComplete() const { return m_complete; }
    const TextLineTable& table() const { return m_table; }
    TextLineTable takeTable();

private:
    // Wraps the paragraph begun at m_start up to `end`; `whole` when the
    // paragraph ends there.
    bool countInChunk(const TextStorage::Snapshot& text, const std::function<bool()>& stop);
    bool countLong(const TextStorage::Snapshot& text, size_t end, bool whole, const std::function<bool()>& stop);
    void commitLine(size_t lineStart);

    std::shared_ptr<const TextLayout> m_layout;
    float m_width;
    TextLineTable m_table;
    bool m_complete = false;
    size_t m_start = 0; // the paragraph being counted
    // Within a long paragraph: where its next uncounted line starts, its
    // lines so far and its checkpoints.
    size_t m_lineStart = 0;
    size_t m_lines = 0;
    std::vector<uint64_t> m_checkpoints;
    std::string m_scratch;
};

} // namespace ui
