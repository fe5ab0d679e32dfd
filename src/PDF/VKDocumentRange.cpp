#include "PDF/VKDocumentRange.h"

#include <fmt/format.h>

#include <tuple>

VKDocumentRange::VKDocumentRange(uint32_t page, core::Range range)
    : m_page(page)
    , m_location(static_cast<uint32_t>(range.location))
    , m_length(static_cast<uint32_t>(range.length))
{
}

int VKDocumentRange::compare(const VKDocumentRange& other) const
{
    auto mine = std::tie(m_page, m_location, m_length);
    auto theirs = std::tie(other.m_page, other.m_location, other.m_length);
    return mine < theirs ? -1 : theirs < mine ? 1 : 0;
}

size_t VKDocumentRange::hash() const
{
    return static_cast<uint32_t>(m_location * 5u + m_page * 3u + m_length * 7u);
}

std::string VKDocumentRange::description() const
{
    return fmt::format("<VKDocumentRange page={} range={{{}, {}}}>", m_page, m_location, m_length);
}
