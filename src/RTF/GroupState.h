#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace rtf {

// What one group keeps while the converter walks it: the paragraph style its
// keywords declared and whether that paragraph is open, whether a cell ended
// in it, the Unicode fallback count (\uc) and the characters still to skip,
// the font in force and whether it is a list item's marker. A group starts
// with the fallback count, font and marker of the group around it.
struct GroupState {
    // Paragraph declarations by property (alignment, first, left and right
    // indent, space before and after): a later one replaces an earlier one,
    // so the style stays short however often they repeat.
    std::array<std::string, 6> declarations;
    std::array<uint8_t, 6> order {};
    size_t declarationCount = 0;
    bool paragraph_open = false;
    bool cell_ended = false;
    // Fallback characters after a Unicode character (\uc), and how many
    // are still to skip.
    int uc = 1;
    int skip = 0;
    // The font in force (\f), -1 for the document's default font.
    int font = -1;
    // Inside a list item's marker (\listtext, \pntext).
    bool list_text = false;

    void declare(size_t property, std::string declaration);
    std::string style() const;
    bool hasStyle() const { return declarationCount > 0; }
};

} // namespace rtf
