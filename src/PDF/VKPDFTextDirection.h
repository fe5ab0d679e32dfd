#pragma once

// Right-to-left text in reading order. Pages set Arabic, Persian and Hebrew
// in the order their glyphs stand from left to right; a line of the page
// text that holds such letters is turned into the order it is read in by the
// bidirectional algorithm run in reverse (from the order shown to the order
// stored), so words read and search as typed, numbers and left-to-right
// runs stay as they read, brackets take their reading form, marks and
// surrogate pairs stay after their base, and the units of one glyph (a
// ligature) keep their order. Each unit's rectangle moves with it.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>

class VKPDFTextDirection {
public:
    // Whether the text holds a right-to-left letter.
    static bool hasRightToLeft(std::u16string_view text);
    // Whether the text's right-to-left letters outnumber its left-to-right
    // ones: the direction of its lines.
    static bool isMostlyRightToLeft(std::u16string_view text);
    // Puts the units [start, end) of `text` into reading order, and the
    // records of `recordBytes` bytes each in `records` (one per unit) with
    // them, in a paragraph of the direction given. The runs in `kept`
    // (offsets from `start`; a span's actual text, which is in reading order
    // already) stay as they are within the line.
    static void reorderLine(std::u16string& text, char* records, size_t recordBytes, size_t start, size_t end,
        bool rightToLeft, std::span<const std::pair<size_t, size_t>> kept = {});
};
