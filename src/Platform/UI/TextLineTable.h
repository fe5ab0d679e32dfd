#pragma once

// The counted layout of a large text: how many wrapped lines each paragraph
// takes, kept as a running count in four bytes a paragraph (blocks of
// paragraphs carry a 64-bit base), so a text of millions of lines costs a
// few bytes a line beside its own line ends, and the paragraph at any height
// is found by binary search. A paragraph of many lines also keeps where
// every CheckpointLines-th line starts, so a place deep inside a line of
// many mebibytes is drawn by wrapping from the checkpoint before it instead
// of from the paragraph's start.
//
// Filled by one counting worker, then handed whole to the main thread.

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ui {

class TextLineTable {
public:
    static constexpr size_t CheckpointLines = 4096;

    // The next paragraph: its line count and, when it has more than
    // CheckpointLines lines, the byte offsets (from its start) of lines
    // CheckpointLines, 2 × CheckpointLines, ...
    void append(size_t lines, std::vector<uint64_t> checkpoints = {});

    size_t paragraphCount() const { return m_running.size(); }
    // All wrapped lines.
    uint64_t lineCount() const { return m_total; }
    // The wrapped lines above paragraph `index` (lineCount() past the end).
    uint64_t linesBefore(size_t index) const;
    size_t linesOf(size_t index) const { return size_t(linesBefore(index + 1) - linesBefore(index)); }
    // The paragraph holding wrapped line `line` (the last one past the end).
    size_t paragraphAtLine(uint64_t line) const;
    // Paragraph `index`'s checkpoints (empty for one of few lines).
    const std::vector<uint64_t>& checkpoints(size_t index) const;
    // Gives back what growing reserved (once the count is whole).
    void shrinkToFit();
    // The heap the table takes.

private:
    struct Block {
        size_t first = 0; // its first paragraph
        uint64_t base = 0; // the lines above it
    };
    static constexpr size_t BlockParagraphs = 65536;
    size_t blockOf(size_t index) const;

    std::vector<uint32_t> m_running; // lines through each paragraph, less its block's base
    std::vector<Block> m_blocks;
    uint64_t m_total = 0;
    std::unordered_map<size_t, std::vector<uint64_t>> m_checkpoints;
};

} // namespace ui
