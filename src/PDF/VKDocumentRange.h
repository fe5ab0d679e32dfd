#pragma once

// One search hit: a page number (from 1) and a range of UTF-16 units in
// the page's stored text, so that it maps one to one onto the page's glyph
// rectangles. Immutable; ordered by page, then location, then length.

#include "Platform/Core/Object.h"
#include "Platform/Core/Range.h"

#include <cstdint>
#include <memory>
#include <string>

class VKDocumentRange : public core::Object {
public:
    static std::shared_ptr<VKDocumentRange> rangeWithPage(uint32_t page, core::Range range);

    uint32_t page() const { return m_page; }
    // Location and length each within 32 bits.
    core::Range range() const { return { m_location, m_length }; }

    // -1, 0 or 1.
    int compare(const VKDocumentRange& other) const;
    bool isEqual(const core::Object& other) const override;
    // location × 5 + page × 3 + length × 7, wrapping at 2^32.
    size_t hash() const override;
    // "<VKDocumentRange:0x… page=3 range={10, 4}>"
    std::string description() const override;

private:
    VKDocumentRange(uint32_t page, uint32_t location, uint32_t length);

    const uint32_t m_page;
    const uint32_t m_location;
    const uint32_t m_length;
};
