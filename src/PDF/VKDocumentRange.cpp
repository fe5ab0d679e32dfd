#include "PDF/VKDocumentRange.h"

#include <fmt/format.h>

#include <tuple>

std::shared_ptr<VKDocumentRange> VKDocumentRange::rangeWithPage(uint32_t page, core::Range range)
{
    return std::shared_ptr<VKDocumentRange>(
        new VKDocumentRange(page, static_cast<uint32_t>(range.location), static_cast<uint32_t>(range.length)));
}

VKDocumentRange::VKDocumentRange(uint32_t page, uint32_t location, uint32_t length)
    : m_page(page)
    , m_location(location)
    , m_length(length)
{
}

int VKDocumentRange::compare(const VKDocumentRange& other) const
{
    auto mine = std::tie(m_page, m_location, m_length);
    auto theirs = std::tie(other.m_page, other.m_location, other.m_length);
    return mine < theirs ? -1 : theirs < mine ? 1 : 0;
}

bool VKDocumentRange::isEqual(const core::Object& other) const
{
    const auto* range = dynamic_cast<const VKDocumentRange*>(&other);
    return range && compare(*range) == 0;
}

size_t VKDocumentRange::hash() const
{
    return static_cast<uint32_t>(m_location * 5u + m_page * 3u + m_length * 7u);
}

std::string VKDocumentRange::description() const
{
    return fmt::format("<{}:{} page={} range={{{}, {}}}>", className(), static_cast<const void*>(this), m_page, m_location,
        m_length);
}
