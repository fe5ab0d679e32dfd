#include "Platform/Graphics/RowReducer.h"

#include <algorithm>
#include <cstring>

namespace gfx::codecs {

RowReducer::RowReducer(int x, int y, int regionWidth, int regionHeight, int width, int height)
    : m_x(x)
    , m_y(y)
    , m_regionWidth(regionWidth)
    , m_regionHeight(regionHeight)
{
    if (regionWidth <= 0 || regionHeight <= 0 || width <= 0 || height <= 0 || width > regionWidth
        || height > regionHeight)
        return;
    m_surface = Surface::create(width, height);
    if (!m_surface)
        return;
    m_columnBin.resize(size_t(regionWidth));
    m_columnCount.assign(size_t(width), 0);
    for (int column = 0; column < regionWidth; ++column) {
        int bin = int(int64_t(column) * width / regionWidth);
        m_columnBin[size_t(column)] = bin;
        ++m_columnCount[size_t(bin)];
    }
    m_sums.assign(size_t(width) * 4, 0);
}

void RowReducer::addRow(int y, const uint8_t* row)
{
    if (!m_surface || y < m_y || y >= endRow())
        return;
    int bin = int(int64_t(y - m_y) * m_surface.height() / m_regionHeight);
    if (bin != m_currentBin) {
        flushRow();
        m_currentBin = bin;
    }
    ++m_rowsInBin;
    ++m_rowsAdded;
    const uint8_t* source = row + size_t(m_x) * 4;
    for (int column = 0; column < m_regionWidth; ++column, source += 4) {
        uint64_t* sum = &m_sums[size_t(m_columnBin[size_t(column)]) * 4];
        sum[0] += source[0];
        sum[1] += source[1];
        sum[2] += source[2];
        sum[3] += source[3];
    }
}

void RowReducer::flushRow()
{
    if (m_currentBin < 0 || m_rowsInBin == 0)
        return;
    uint8_t* target = m_surface.row(m_currentBin);
    for (size_t column = 0; column < m_columnCount.size(); ++column) {
        uint64_t count = uint64_t(m_columnCount[column]) * m_rowsInBin;
        uint64_t* sum = &m_sums[column * 4];
        for (int channel = 0; channel < 4; ++channel)
            target[column * 4 + size_t(channel)] = uint8_t((sum[channel] + count / 2) / count);
    }
    std::fill(m_sums.begin(), m_sums.end(), 0);
    m_rowsInBin = 0;
}

Surface RowReducer::finish()
{
    if (!m_surface || m_rowsAdded < m_regionHeight)
        return {};
    flushRow();
    m_surface.markDirty();
    return m_surface;
}

} // namespace gfx::codecs
