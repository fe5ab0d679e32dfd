#pragma once

// One search hit: a page number (from 1) and a range of UTF-16 units in
// the page's stored text, so that it maps one to one onto the page's glyph
// rectangles. A value; ordered by page, then location, then length.

#include "Platform/Core/Range.h"

#include <cstdint>
#include <string>

class VKDocumentRange {
public:
    // Location and length each within 32 bits.
    VKDocumentRange(uint32_t page, core::Range range);

    uint32_t page() const { return m_page; }
    core::Range range() const { return { m_location, m_length }; }

    // -1, 0 or 1.
    int compare(const VKDocumentRange& other) const;
    bool operator==(const VKDocumentRange& other) const = default;
    // location × 5 + page × 3 + length × 7, wrapping at 2^32.
    size_t hash() const;
    // "<VKDocumentRange page=3 range={10, 4}>"
    std::string description() const;

private:
    uint32_t m_page;
    uint32_t m_location;
    uint32_t m_length;
};
