#include "PDF/VKPDFTextDirection.h"

#include <algorithm>
#include <cstring>
#include <unicode/ubidi.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <vector>

namespace {

// Strong right-to-left letters are all past U+0590: Hebrew, Arabic and
// their presentation forms, and outside the BMP those behind these leads.
bool isRightToLeftUnit(char16_t unit)
{
    if (unit < 0x0590)
        return false;
    if (U16_IS_SURROGATE(unit))
        return unit == 0xD802 || unit == 0xD803 || unit == 0xD83A || unit == 0xD83B;
    UCharDirection direction = u_charDirection(unit);
    return direction == U_RIGHT_TO_LEFT || direction == U_RIGHT_TO_LEFT_ARABIC;
}

// What follows its base whichever way a run reads.
bool followsBase(char16_t unit)
{
    if (U16_IS_TRAIL(unit))
        return true;
    int8_t type = u_charType(unit);
    return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || type == U_COMBINING_SPACING_MARK;
}

} // namespace

bool VKPDFTextDirection::hasRightToLeft(std::u16string_view text)
{
    for (char16_t unit : text) {
        if (isRightToLeftUnit(unit))
            return true;
    }
    return false;
}

bool VKPDFTextDirection::isMostlyRightToLeft(std::u16string_view text)
{
    long balance = 0;
    for (size_t i = 0; i < text.size();) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        UCharDirection direction = u_charDirection(c);
        if (direction == U_RIGHT_TO_LEFT || direction == U_RIGHT_TO_LEFT_ARABIC)
            ++balance;
        else if (direction == U_LEFT_TO_RIGHT)
            --balance;
    }
    return balance > 0;
}

void VKPDFTextDirection::reorderLine(std::u16string& text, char* records, size_t recordBytes, size_t start, size_t end,
    bool rightToLeft, std::span<const std::pair<size_t, size_t>> kept)
{
    if (end <= start + 1 || end > text.size() || end - start > size_t(INT32_MAX))
        return;
    const int32_t length = int32_t(end - start);
    UErrorCode error = U_ZERO_ERROR;
    UBiDi* bidi = ubidi_openSized(length, 0, &error);
    if (!bidi)
        return;
    // The line as shown is the input; the order the algorithm would show
    // it in is then the order it is read in.
    ubidi_setReorderingMode(bidi, UBIDI_REORDER_INVERSE_LIKE_DIRECT);
    ubidi_setPara(bidi, text.data() + start, length, rightToLeft ? 1 : 0, nullptr, &error);
    std::vector<int32_t> order(size_t(length), 0);
    std::vector<UBiDiLevel> levels(size_t(length), 0);
    if (U_SUCCESS(error))
        ubidi_getVisualMap(bidi, order.data(), &error);
    if (U_SUCCESS(error)) {
        for (int32_t i = 0; i < length; ++i)
            levels[size_t(i)] = ubidi_getLevelAt(bidi, i);
    }
    ubidi_close(bidi);
    if (U_FAILURE(error))
        return;
    const char16_t* line = text.data() + start;
    // A glyph with several units (a ligature read as its letters) keeps
    // them in their order: a reversed run turned them, and they share one
    // rectangle (inserted spaces have none).
    auto sameGlyph = [&](int32_t a, int32_t b) {
        const char* first = records + (start + size_t(a)) * recordBytes;
        const char* second = records + (start + size_t(b)) * recordBytes;
        return std::memcmp(first, second, recordBytes) == 0
            && std::any_of(first, first + recordBytes, [](char byte) { return byte != 0; });
    };
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && order[j + 1] == order[j] - 1 && sameGlyph(order[j], order[j + 1]))
            ++j;
        for (size_t a = i, b = j; a < b; ++a, --b)
            std::swap(order[a], order[b]);
        i = j + 1;
    }
    // A reversed run turns trailing surrogates before their lead, and marks
    // that a page set after their letter before it: such a cluster, stranded
    // at a word's start, is turned back. (Pages that set marks before their
    // letter read right as they are.)
    auto stranded = [&](size_t i) {
        if (i == 0)
            return true;
        char16_t before = line[order[i - 1]];
        return !(u_isalpha(before) || followsBase(before));
    };
    for (size_t i = 0; i < order.size();) {
        size_t j = i;
        while (j + 1 < order.size() && followsBase(line[order[j]]) && order[j + 1] == order[j] - 1)
            ++j;
        bool cluster = j > i && !followsBase(line[order[j]])
            && (U16_IS_TRAIL(line[order[i]]) ? U16_IS_LEAD(line[order[j]]) && j == i + 1 : stranded(i));
        if (cluster) {
            for (size_t a = i, b = j; a < b; ++a, --b)
                std::swap(order[a], order[b]);
            i = j + 1;
        } else {
            i = j == i ? i + 1 : j;
        }
    }
    // Text that is in reading order already moves as a whole, unmirrored.
    std::vector<bool> keep(order.size(), false);
    if (!kept.empty()) {
        std::vector<size_t> at(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            at[size_t(order[i])] = i;
        for (auto [first, last] : kept) {
            if (first >= last || last > order.size())
                continue;
            bool reversed = true;
            for (size_t unit = first; unit + 1 < last && reversed; ++unit)
                reversed = at[unit + 1] + 1 == at[unit];
            if (reversed)
                std::reverse(order.begin() + static_cast<std::ptrdiff_t>(at[last - 1]),
                    order.begin() + static_cast<std::ptrdiff_t>(at[first]) + 1);
            std::fill(keep.begin() + static_cast<std::ptrdiff_t>(first), keep.begin() + static_cast<std::ptrdiff_t>(last), true);
        }
    }
    std::u16string reordered(size_t(length), u'\0');
    std::string movedRecords(size_t(length) * recordBytes, '\0');
    char* base = records + start * recordBytes;
    for (size_t i = 0; i < order.size(); ++i) {
        char16_t unit = line[order[i]];
        // Read from the right, an opening bracket is drawn as a closing one.
        if ((levels[size_t(order[i])] & 1) && !keep[size_t(order[i])] && !U16_IS_SURROGATE(unit))
            unit = char16_t(u_charMirror(unit));
        reordered[i] = unit;
        std::memcpy(movedRecords.data() + i * recordBytes, base + size_t(order[i]) * recordBytes, recordBytes);
    }
    text.replace(start, size_t(length), reordered);
    std::memcpy(base, movedRecords.data(), movedRecords.size());
}
