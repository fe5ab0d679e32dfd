#pragma once

// For the graphics layer's own code: part of a picture made smaller as its
// rows come from a decoder, so that a large picture is read at the size it
// is shown without ever being held whole. Every source pixel of the region
// adds into the one output pixel it falls in (a box filter over
// premultiplied words), one row of sums at a time.

#include "Platform/Graphics/ImageCodecs.h"

#include <cstdint>
#include <vector>

namespace gfx::codecs {

class RowReducer {
public:
    // The region is in source pixels; the output is width × height pixels,
    // at most the region's own size on each side.
    RowReducer(int x, int y, int regionWidth, int regionHeight, int width, int height);

    // False when the output could not be made (no memory, no area).
    bool isValid() const { return bool(m_surface); }
    int firstRow() const { return m_y; }
    int endRow() const { return m_y + m_regionHeight; }
    // A source row of premultiplied native words from column 0; rows
    // outside the region are ignored.
    void addRow(int y, const uint8_t* row);
    // The output, once the region's last row was added; empty before.
    Surface finish();

private:
    void flushRow();

    int m_x, m_y, m_regionWidth, m_regionHeight;
    Surface m_surface;
    std::vector<int> m_columnBin;
    std::vector<uint32_t> m_columnCount;
    std::vector<uint64_t> m_sums;
    int m_currentBin = -1;
    uint32_t m_rowsInBin = 0;
    int m_rowsAdded = 0;
};

} // namespace gfx::codecs
