#include "Platform/UI/TableViewGeometry.h"

#include "Platform/Core/Exception.h"
#include "Platform/Core/Log.h"
#include "Platform/UI/TableViewDataSource.h"
#include "Platform/UI/TableViewDelegate.h"

#include <algorithm>
#include <cmath>
#include <fmt/format.h>

namespace ui {

float TableViewGeometry::checkedHeight(std::optional<float> height, float fallback, const char* what)
{
    if (!height)
        return fallback;
    if (!(*height >= 0) || !std::isfinite(*height)) {
        core::log("TableView: {} height {} counts as 0", what, *height);
        return 0;
    }
    return *height;
}

double TableViewGeometry::build(TableView& table, TableViewDataSource* source, TableViewDelegate* d,
    const Defaults& defaults, double y)
{
    int sections = source ? std::max(0, source->numberOfSections(table)) : 0;
    m_sections.assign(size_t(sections), {});
    for (int s = 0; s < sections; ++s) {
        Section& section = m_sections[size_t(s)];
        section.rows = std::max(0, source->numberOfRows(table, s));
        auto title = source->titleForHeader(table, s);
        bool grouped = defaults.grouped;
        float header = grouped && title && !title->empty()
            ? std::max(defaults.sectionHeaderHeight, defaults.groupedTitledHeaderHeight)
            : (grouped || title ? defaults.sectionHeaderHeight : 0);
        section.header = checkedHeight(d ? d->heightForHeader(table, s) : std::nullopt, header, "header");
        bool footed = grouped || source->titleForFooter(table, s).has_value();
        section.footer = checkedHeight(d ? d->heightForFooter(table, s) : std::nullopt,
            footed ? defaults.sectionFooterHeight : 0, "footer");
        // A delegate without row heights answers nothing for the first row:
        // the section is uniform and costs nothing per row.
        std::optional<float> first = d && section.rows > 0 ? d->heightForRow(table, { s, 0 }) : std::nullopt;
        if (!first) {
            section.uniformHeight = defaults.rowHeight;
        } else {
            section.rowTops.resize(size_t(section.rows) + 1);
            section.rowTops[0] = 0;
            for (int r = 0; r < section.rows; ++r) {
                float h = checkedHeight(r == 0 ? first : d->heightForRow(table, { s, r }), defaults.rowHeight, "row");
                section.rowTops[size_t(r) + 1] = section.rowTops[size_t(r)] + h;
            }
        }
        section.top = y;
        y += section.height();
    }
    return y;
}

int TableViewGeometry::rows(int section) const
{
    return section >= 0 && section < sectionCount() ? m_sections[size_t(section)].rows : 0;
}

bool TableViewGeometry::isValid(IndexPath path) const
{
    return path.section >= 0 && path.section < sectionCount() && path.row >= 0
        && path.row < m_sections[size_t(path.section)].rows;
}

void TableViewGeometry::requireValid(IndexPath path, const char* what) const
{
    if (!isValid(path))
        throw core::Exception(core::Exception::RangeError,
            fmt::format("TableView::{}: row {} is out of range ({} sections)", what, path.description(), sectionCount()));
}

std::vector<TableViewGeometry::Section>::const_iterator TableViewGeometry::firstSectionEndingBelow(double y) const
{
    return std::upper_bound(m_sections.begin(), m_sections.end(), y,
        [](double at, const Section& s) { return at < s.top + s.height(); });
}

gfx::Rect TableViewGeometry::sectionRect(int section, float width) const
{
    if (section < 0 || section >= sectionCount())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top), width, float(s.height()) };
}

gfx::Rect TableViewGeometry::headerRect(int section, float width) const
{
    if (section < 0 || section >= sectionCount())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top), width, s.header };
}

gfx::Rect TableViewGeometry::footerRect(int section, float width) const
{
    if (section < 0 || section >= sectionCount())
        return {};
    const Section& s = m_sections[size_t(section)];
    return { 0, float(s.top + s.header + s.rowsHeight()), width, s.footer };
}

gfx::Rect TableViewGeometry::rowFrame(IndexPath path, float width, float margin) const
{
    const Section& s = m_sections[size_t(path.section)];
    double top = s.top + s.header + s.rowTop(path.row);
    double bottom = s.top + s.header + s.rowTop(path.row + 1);
    return { margin, float(top), width - 2 * margin, float(bottom - top) };
}

std::vector<IndexPath> TableViewGeometry::rowsIn(const gfx::Rect& rect) const
{
    std::vector<IndexPath> paths;
    if (m_sections.empty() || rect.isEmpty())
        return paths;
    double low = rect.minY(), high = rect.maxY();
    for (auto it = firstSectionEndingBelow(low); it != m_sections.end() && it->top < high; ++it) {
        const Section& s = *it;
        int section = int(it - m_sections.begin());
        double rowsTop = s.top + s.header;
        double from = low - rowsTop, to = high - rowsTop;
        int begin, end;
        if (s.rowTops.empty()) {
            if (s.uniformHeight <= 0)
                continue;
            begin = int(std::floor(from / s.uniformHeight));
            end = int(std::ceil(to / s.uniformHeight));
        } else {
            begin = int(std::upper_bound(s.rowTops.begin(), s.rowTops.end(), from) - s.rowTops.begin()) - 1;
            end = int(std::lower_bound(s.rowTops.begin(), s.rowTops.end(), to) - s.rowTops.begin());
        }
        begin = std::max(0, begin);
        end = std::min(s.rows, end);
        for (int r = begin; r < end; ++r)
            paths.push_back({ section, r });
    }
    return paths;
}

} // namespace ui
