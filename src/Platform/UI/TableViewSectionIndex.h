#pragma once

// A table's section index: the data source's titles, and the strip along
// the table's right edge (IndexWidth wide, over the rows and the headers)
// that shows while there are titles. A tap on the strip picks the title
// under it, in equal shares of the strip's height, and the table scrolls
// to that title's section. Owned by the table, which hands itself in.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

class TableView;
class View;

class TableViewSectionIndex {
public:
    // Asks the table's data source for the titles again.
    void reload(TableView& table);
    // Shows the strip at the table's right edge in front of the rest, or
    // hides it when there are no titles.
    void layout(TableView& table);
    const std::vector<std::string>& titles() const { return m_titles; }
    // The section the data source names for the title at `index` (none
    // without a source or for a section out of range); an index beyond the
    // titles throws.
    std::optional<int> sectionForTitle(TableView& table, int index) const;
    View* view() const { return m_view.get(); }

private:
    std::vector<std::string> m_titles;
    std::shared_ptr<View> m_view;
};

} // namespace ui
