#pragma once

// The counted layout of a large text: how many wrapped lines each paragraph
// takes, in one byte a paragraph (one that takes more than 255 lines keeps
// its count aside) and a 64-bit running count every GroupParagraphs
// paragraphs, so a text of millions of lines costs little more than a byte
// a line, and the paragraph at any height is found by binary search over
// the groups and a walk of one. A paragraph of many lines also keeps where
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

    size_t paragraphCount() const { return m_lines.size(); }
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

private:
    static constexpr size_t GroupParagraphs = 64;
    static constexpr uint8_t Large = 255;

    std::vector<uint8_t> m_lines; // each paragraph's lines less one, or Large
    std::vector<uint64_t> m_groups; // the lines above each group's first paragraph
    uint64_t m_total = 0;
    std::unordered_map<size_t, uint64_t> m_large; // the counts of Large paragraphs
    std::unordered_map<size_t, std::vector<uint64_t>> m_checkpoints;

    uint64_t lines(size_t index) const;
};

} // namespace ui
