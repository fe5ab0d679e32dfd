#pragma once

// The counted layout of a large text: how many wrapped lines its
// paragraphs take, kept sparse so that its size is bounded by the text's
// bytes whatever the line count. Paragraphs come in groups of at most
// GroupParagraphs that close once they hold GroupBytes; a group keeps only
// its first paragraph's index and byte and the lines above it (24 bytes), so
// a text of a gibibyte costs a few megabytes even in lines of one letter.
// A paragraph counted in segments (one longer than the counter wraps in one
// call) is a group of its own, its count exact without wrapping it again.
// Within a group of short paragraphs, a lookup wraps the group's paragraphs
// again from the text (at most GroupParagraphs paragraphs, GroupBytes and a
// paragraph): the groups last asked for are kept so a window's walk wraps
// each once. A paragraph of many lines also keeps where every
// CheckpointLines-th line starts, so a place deep inside a line of many
// mebibytes is drawn by wrapping from the checkpoint before it instead of
// from the paragraph's start.
//
// Filled by one counting worker, bound to its text once whole, then handed
// to the main thread; lookups may come from any thread.

#include "Platform/UI/TextLayout.h"
#include "Platform/UI/TextStorage.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace ui {

class TextLineTable {
public:
    static constexpr size_t CheckpointLines = 4096;
    static constexpr size_t GroupParagraphs = 4096;
    static constexpr size_t GroupBytes = 32 * 1024;

    TextLineTable() = default;
    TextLineTable(TextLineTable&& other) noexcept;
    TextLineTable& operator=(TextLineTable&& other) noexcept;

    // The next paragraph, starting at byte `start`, and its line count: of
    // one wrapped whole with layout().lineCount unless `segmented`, when it
    // has the byte offsets (from its start) of lines CheckpointLines,
    // 2 × CheckpointLines, ... once it has more.
    void append(size_t start, size_t lines, bool segmented = false, std::vector<uint64_t> checkpoints = {});
    // The text, its layout and width that the short paragraphs were
    // counted with: a lookup inside a group wraps them again from it.
    void bind(const TextStorage::Snapshot& text, std::shared_ptr<const TextLayout> layout, float width);

    size_t paragraphCount() const { return m_count; }
    // All wrapped lines.
    uint64_t lineCount() const { return m_total; }
    // The wrapped lines above paragraph `index` (lineCount() past the end).
    uint64_t linesBefore(size_t index) const;
    size_t linesOf(size_t index) const { return size_t(linesBefore(index + 1) - linesBefore(index)); }
    // The paragraph holding wrapped line `line` (the last one past the end).
    size_t paragraphAtLine(uint64_t line) const;
    // Where paragraph `index` starts (npos past the last).
    size_t paragraphStart(size_t index) const;
    // Paragraph `index`'s checkpoints (empty for one of few lines).
    const std::vector<uint64_t>& checkpoints(size_t index) const;
    // Gives back what growing reserved (once the count is whole).
    void shrinkToFit();
    // The bytes its index holds (for measuring).
    size_t memoryBytesForTesting() const;

private:
    struct Group {
        uint64_t first = 0; // its first paragraph
        uint64_t start = 0; // and that one's byte
        uint64_t above = 0; // the lines above it
    };
    // A group of short paragraphs wrapped again: where each starts and the
    // lines above each, in the group.
    struct Opened {
        size_t group = SIZE_MAX;
        std::vector<uint64_t> starts;
        std::vector<uint64_t> above; // one more: the group's lines at the end
    };

    size_t groupOf(size_t index) const;
    size_t groupEnd(size_t group) const; // one past its last paragraph
    uint64_t groupLinesEnd(size_t group) const;
    // The group opened, from the cache or wrapped now (under m_mutex).
    const Opened& open(size_t group) const;

    std::vector<Group> m_groups;
    size_t m_count = 0;
    uint64_t m_total = 0;
    bool m_groupClosed = true; // the next paragraph starts a group
    std::unordered_map<size_t, std::vector<uint64_t>> m_checkpoints;
    std::optional<TextStorage::Snapshot> m_text;
    std::shared_ptr<const TextLayout> m_layout;
    float m_width = 0;
    mutable std::mutex m_mutex;
    mutable Opened m_opened[2];
    mutable size_t m_nextOpened = 0;
};

} // namespace ui
