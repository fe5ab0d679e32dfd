#pragma once

// A settings page that picks one value of a default from a list: one row
// per value, the row whose value equals the stored one (numbers compare by
// value, so 2 and 2.0 are one choice) checked and in the value colour. A
// tap stores the row's value at once. Pages of other subsystems (slide
// durations and transitions) are lists like this one.

#include "Shell/Settings/VKSubviewController.h"
#include "Platform/Core/Value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class VKSettingsListController : public VKSubviewController {
public:
    static constexpr const char* CellIdentifier = "SettingsListCellIdentifier";

    // Without labels, the rows show the values' texts.
    static std::shared_ptr<VKSettingsListController> initWithDefaultsKey(std::string defaultsKey,
        std::vector<core::Value> values, std::optional<std::vector<std::string>> labels = std::nullopt);
    VKSettingsListController(std::string defaultsKey, std::vector<core::Value> values,
        std::optional<std::vector<std::string>> labels);

    const std::string& defaultsKey() const { return m_defaultsKey; }
    const std::vector<core::Value>& values() const { return m_values; }
    const std::vector<std::string>& labels() const { return m_labels; }

    bool isCellCheckedAtIndexPath(ui::IndexPath path) const;
    // The first row whose value equals the stored one.
    std::optional<ui::IndexPath> indexPathOfCheckedCell() const;
    // The checked row's label, or "".
    std::string statusText() override;

    // Puts the checked row in the middle, without animation.
    void viewWillAppear(bool animated) override;
    int numberOfRows(ui::TableView&, int section) override;
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    void willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;

private:
    void markCell(ui::TableView& table, ui::IndexPath path, bool checked);

    std::string m_defaultsKey;
    std::vector<core::Value> m_values;
    std::vector<std::string> m_labels;
};
