#pragma once

// The header and footer views a table shows for its sections: only those
// that meet the visible rectangle live. Each is the delegate's view, else a
// label made from the data source's title (a bar across a plain table, text
// over a grouped table's rows; an empty grouped title is no title). A plain
// table's header stays at the visible top while its section passes under
// it, pushed up by the next; footers and grouped tables scroll with their
// rows. Owned by the table, which hands itself in to each layout.

#include "Platform/Graphics/Geometry.h"

#include <map>
#include <memory>
#include <utility>

namespace ui {

class TableView;
class TableViewGeometry;
class View;

class TableViewSectionViews {
public:
    // Makes, places and drops the views for the visible rectangle.
    void layout(TableView& table, const TableViewGeometry& geometry, const gfx::Rect& visible);
    // The view shown now for the section's header or footer, or null.
    View* view(int section, bool footer) const;
    // Takes every view away.
    void clear();

private:
    std::map<std::pair<int, bool>, std::shared_ptr<View>> m_views; // (section, footer)
};

} // namespace ui
