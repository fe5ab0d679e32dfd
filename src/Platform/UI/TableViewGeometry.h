#pragma once

// Where a table's sections, headers, footers and rows lie. Built from the
// data source's counts and the delegate's heights, asked once per row per
// build and kept as prefix sums per section (nothing per row when the
// delegate gives no heights), so finding the rows in a rectangle costs a
// search, not a walk. Heights that are negative or not finite count as 0.
// The table builds it on each reload or update and asks it everything about
// place; it knows nothing of cells.

#include "Platform/Graphics/Geometry.h"
#include "Platform/UI/IndexPath.h"

#include <optional>
#include <vector>

namespace ui {

class TableView;
class TableViewDataSource;
class TableViewDelegate;

class TableViewGeometry {
public:
    struct Section {
        int rows = 0;
        double top = 0;
        float header = 0;
        float footer = 0;
        float uniformHeight = 0;       // when no delegate height
        std::vector<double> rowTops;   // rows + 1 prefix sums, else empty
        double rowsHeight() const { return rowTops.empty() ? double(uniformHeight) * rows : rowTops.back(); }
        double rowTop(int row) const { return rowTops.empty() ? double(uniformHeight) * row : rowTops[size_t(row)]; }
        double height() const { return header + rowsHeight() + footer; }
    };
    // The table's defaults for what the delegate does not answer.
    struct Defaults {
        bool grouped = false;
        float rowHeight = 0;
        float sectionHeaderHeight = 0;
        float sectionFooterHeight = 0;
        float groupedTitledHeaderHeight = 0;
    };

    // Asks the source and the delegate (either may be null) about `table`;
    // the sections start at `top`. Answers where the last one ends.
    double build(TableView& table, TableViewDataSource* source, TableViewDelegate* delegate, const Defaults& defaults,
        double top);

    int sectionCount() const { return int(m_sections.size()); }
    const std::vector<Section>& sections() const { return m_sections; }
    // Out of range: 0.
    int rows(int section) const;
    bool isValid(IndexPath path) const;
    // Throws a range error naming `what` for a row out of range.
    void requireValid(IndexPath path, const char* what) const;
    // The first section that ends below `y` (sections().end() when none).
    std::vector<Section>::const_iterator firstSectionEndingBelow(double y) const;

    // Out of range: the zero rectangle.
    gfx::Rect sectionRect(int section, float width) const;
    gfx::Rect headerRect(int section, float width) const;
    gfx::Rect footerRect(int section, float width) const;
    // A valid row's frame, `margin` in from either side.
    gfx::Rect rowFrame(IndexPath path, float width, float margin) const;
    // The rows that meet the rectangle, in order.
    std::vector<IndexPath> rowsIn(const gfx::Rect& rect) const;

private:
    static float checkedHeight(std::optional<float> height, float fallback, const char* what);

    std::vector<Section> m_sections;
};

} // namespace ui
