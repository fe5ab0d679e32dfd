#include "Kit/VKLineRects.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

using gfx::Rect;

static_assert(sizeof(Rect) == 16, "rectangles are stored as four packed floats");

namespace {

bool beforeByRow(const Rect& a, const Rect& b)
{
    if (a.y() != b.y())
        return a.y() < b.y();
    if (a.height() != b.height())
        return a.height() < b.height();
    if (a.x() != b.x())
        return a.x() < b.x();
    return a.width() < b.width();
}

bool beforeByColumn(const Rect& a, const Rect& b)
{
    if (a.x() != b.x())
        return a.x() < b.x();
    if (a.y() != b.y())
        return a.y() < b.y();
    if (a.width() != b.width())
        return a.width() < b.width();
    return a.height() < b.height();
}

// Quicksort with the middle element as pivot and a two-pointer partition.
// It recurses into the smaller part and loops on the larger, so that no
// ordering of the input (a hostile document's glyphs) can exhaust the stack.
// Each scan stops at a value it has itself judged "not before/after" the
// pivot, so the pointers stay in range even for NaN components.
template<typename Before> void quicksort(Rect* items, long low, long high, Before before)
{
    while (low < high) {
        Rect pivot = items[low + (high - low) / 2];
        long i = low, j = high;
        while (i <= j) {
            while (before(items[i], pivot))
                ++i;
            while (before(pivot, items[j]))
                --j;
            if (i <= j) {
                std::swap(items[i], items[j]);
                ++i;
                --j;
            }
        }
        if (j - low < high - i) {
            quicksort(items, low, j, before);
            low = i;
        } else {
            quicksort(items, i, high, before);
            high = j;
        }
    }
}

} // namespace

void VKRectQuicksortByRow(Rect* first, Rect* last)
{
    if (first && last && last > first)
        quicksort(first, 0, last - first, beforeByRow);
}

void VKRectQuicksortByColumn(Rect* first, Rect* last)
{
    if (first && last && last > first)
        quicksort(first, 0, last - first, beforeByColumn);
}

core::Data VKLineRectsFromGlyphRects(const core::Data& glyphRects)
{
    size_t count = glyphRects.size() / sizeof(Rect);
    if (count == 0)
        return core::Data();
    std::vector<Rect> glyphs(count);
    std::memcpy(glyphs.data(), glyphRects.bytes(), count * sizeof(Rect));
    VKRectQuicksortByRow(&glyphs.front(), &glyphs.back());

    std::vector<Rect> lines;
    Rect start = glyphs[0];
    Rect previous = glyphs[0];
    for (size_t i = 1; i < count; ++i) {
        const Rect& current = glyphs[i];
        bool continuesLine = current.y() == previous.y() && current.height() == previous.height()
            && current.x() - (previous.x() + previous.width()) <= previous.height();
        if (!continuesLine) {
            Rect line = start.unionRect(previous);
            if (!line.isEmpty())
                lines.push_back(line);
            start = current;
        }
        previous = current;
    }
    lines.push_back(start.unionRect(previous));

    VKRectQuicksortByColumn(&lines.front(), &lines.back());
    // Lines that start at the same left edge take the widest one's width.
    for (size_t groupStart = 0; groupStart < lines.size();) {
        size_t groupEnd = groupStart;
        float widest = lines[groupStart].width();
        while (groupEnd + 1 < lines.size() && lines[groupEnd + 1].x() == lines[groupStart].x())
            widest = std::max(widest, lines[++groupEnd].width());
        for (size_t i = groupStart; i <= groupEnd; ++i)
            lines[i].size.width = widest;
        groupStart = groupEnd + 1;
    }
    return core::Data(lines.data(), lines.size() * sizeof(Rect));
}
