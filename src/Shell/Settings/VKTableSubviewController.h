#pragma once

// A settings page whose rows are ready-made cells kept in groups, one group
// per section: pages build them in loadTableGroups (when the view loads,
// again after a memory warning dropped them) and the table shows them as
// they are. Nothing is cached: each row reads its store when it is made
// and when the page shows again, and writes it back when it changes and
// when the page goes away. A note may stand under the last section.

#include "Shell/Settings/VKDefaultsBinding.h"
#include "Shell/Settings/VKSubviewController.h"
#include "Shell/Settings/VKTextFieldCell.h"

#include <memory>
#include <string>
#include <vector>

class VKTableFooterLabel;

class VKTableSubviewController : public VKSubviewController, public VKTextFieldCellDelegate {
public:
    using Group = VKSettingsGroups::value_type;

    explicit VKTableSubviewController(ui::TableView::Style style = ui::TableView::Style::Grouped);

    // Builds the rows; the base builds none.
    virtual void loadTableGroups() { }
    const VKSettingsGroups& tableGroups() const { return m_tableGroups; }
    // Text-field rows without a delegate report their editing to this page.
    // Without `reload` the table is left to the caller, who tells it of the
    // change in an animated update.
    void setTableGroups(VKSettingsGroups groups, bool reload = true);

    // Gives the last section its note, sized by VKTableFooterLabel's line
    // count at 20 points a line; an empty text keeps the old size.
    void setFooterText(std::string_view text);
    std::string footerText() const;
    VKTableFooterLabel* footerLabel() const { return m_footerLabel.get(); }
    // The text-field row being edited.
    std::shared_ptr<VKTextFieldCell> activeTextField() const { return m_activeTextField.lock(); }

    void textFieldCellWillBeginEditing(VKTextFieldCell& cell) override;
    void textFieldCellDidEndEditing(VKTextFieldCell& cell) override;

    void viewDidLoad() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    // Ends the editing under way, then has every row that writes its store
    // write it, group by group, row by row.
    void viewWillDisappear(bool animated) override;

    int numberOfSections(ui::TableView&) override;
    int numberOfRows(ui::TableView&, int section) override;
    // The group's cell; a row that opens a page shows its page's summary
    // afresh each time.
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView&, ui::IndexPath path) override;
    // A row that opens a page pushes it; any other row only loses its
    // selection.
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    std::shared_ptr<ui::View> viewForFooter(ui::TableView&, int section) override;
    std::optional<float> heightForFooter(ui::TableView&, int section) override;

protected:
    // The cell at `path`, or null.
    ui::TableViewCell* cellAt(ui::IndexPath path) const;

private:
    VKSettingsGroups m_tableGroups;
    std::weak_ptr<VKTextFieldCell> m_activeTextField;
    std::shared_ptr<VKTableFooterLabel> m_footerLabel;
};
