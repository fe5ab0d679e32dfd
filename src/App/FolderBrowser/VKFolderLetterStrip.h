#pragma once

#include "App/FolderBrowser/VKIndexViewDataSource.h"

#include <memory>
#include <string>

class VKFolderListing;
class VKIndexView;
namespace ui {
class TableView;
}

// The letter strip beside a folder's list: made on first use, placed at
// the table's right edge, shown only in the orders that have one (by name
// and by kind), over a folder that has rows, and while the screen lets it
// (not while editing or searching), and scrolling its table to the row of the label touched. Its
// labels follow the interface language (VKFolderSectionIndex), its rows the
// listing's. Main thread only.
class VKFolderLetterStrip : public VKIndexViewDataSource, public std::enable_shared_from_this<VKFolderLetterStrip> {
public:
    explicit VKFolderLetterStrip(VKFolderListing& listing);

    // Whether the order in use has a strip and the folder rows to jump to.
    bool isWanted();
    // None before the first update that wanted one.
    VKIndexView* view() const { return m_view.get(); }
    // Puts the strip on `table` (made on first use) and shows it as far as
    // `allowed`, or hides it when the order has none.
    void update(ui::TableView& table, bool allowed);
    // Hides the strip, or shows it again when wanted and `allowed`.
    void setHidden(bool hidden, bool allowed);
    // Scrolls `table` to the first row of the label (the row before the
    // next later letter when none starts with it; "#" and an empty list:
    // the top), no further than the table scrolls.
    void jump(ui::TableView& table, const std::string& label);

    size_t numberOfSectionsInIndexView(VKIndexView& indexView) override;
    std::vector<std::string> labelsForSection(VKIndexView& indexView, size_t section) override;
    bool canCompressLabelsInSection(VKIndexView& indexView, size_t section) override;

private:
    VKFolderListing& m_listing;
    std::shared_ptr<VKIndexView> m_view;
};
