#include "Shell/Settings/VKSettingsListController.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/StandardColors.h"

std::shared_ptr<VKSettingsListController> VKSettingsListController::initWithDefaultsKey(std::string defaultsKey,
    std::vector<core::Value> values, std::optional<std::vector<std::string>> labels)
{
    return std::make_shared<VKSettingsListController>(std::move(defaultsKey), std::move(values), std::move(labels));
}

VKSettingsListController::VKSettingsListController(std::string defaultsKey, std::vector<core::Value> values,
    std::optional<std::vector<std::string>> labels)
    : VKSubviewController(ui::TableView::Style::Grouped)
    , m_defaultsKey(std::move(defaultsKey))
    , m_values(std::move(values))
{
    if (labels) {
        m_labels = std::move(*labels);
    } else {
        for (auto& value : m_values)
            m_labels.push_back(value.toString());
    }
    // A row without a label of its own shows its value.
    for (size_t i = m_labels.size(); i < m_values.size(); ++i)
        m_labels.push_back(m_values[i].toString());
}

bool VKSettingsListController::isCellCheckedAtIndexPath(ui::IndexPath path) const
{
    if (path.section != 0 || path.row < 0 || path.row >= int(m_values.size()))
        return false;
    return m_values[size_t(path.row)] == core::UserDefaults::standard()->object(m_defaultsKey);
}

std::optional<ui::IndexPath> VKSettingsListController::indexPathOfCheckedCell() const
{
    core::Value stored = core::UserDefaults::standard()->object(m_defaultsKey);
    for (size_t row = 0; row < m_values.size(); ++row)
        if (m_values[row] == stored)
            return ui::IndexPath { 0, int(row) };
    return std::nullopt;
}

std::string VKSettingsListController::statusText()
{
    auto checked = indexPathOfCheckedCell();
    return checked ? m_labels[size_t(checked->row)] : std::string();
}

void VKSettingsListController::viewWillAppear(bool animated)
{
    VKSubviewController::viewWillAppear(animated);
    if (auto checked = indexPathOfCheckedCell())
        tableView().scrollToRow(*checked, ui::TableView::ScrollPosition::Middle, false);
}

int VKSettingsListController::numberOfRows(ui::TableView&, int)
{
    return int(m_values.size());
}

std::shared_ptr<ui::TableViewCell> VKSettingsListController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell)
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, CellIdentifier);
    cell->textLabel().setText(m_labels.at(size_t(path.row)));
    cell->textLabel().setTextColor(isCellCheckedAtIndexPath(path) ? tableViewCellTextValueColor() : ui::StandardColors::black());
    return cell;
}

void VKSettingsListController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path)
{
    cell.setAccessoryType(isCellCheckedAtIndexPath(path) ? ui::TableViewCell::Accessory::Checkmark
                                                         : ui::TableViewCell::Accessory::None);
}

void VKSettingsListController::markCell(ui::TableView& table, ui::IndexPath path, bool checked)
{
    auto* cell = table.cellForRow(path);
    if (!cell)
        return;
    cell->setAccessoryType(checked ? ui::TableViewCell::Accessory::Checkmark : ui::TableViewCell::Accessory::None);
    cell->textLabel().setTextColor(checked ? tableViewCellTextValueColor() : ui::StandardColors::black());
}

void VKSettingsListController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (auto old = indexPathOfCheckedCell())
        markCell(table, *old, false);
    if (path.row >= 0 && path.row < int(m_values.size()))
        core::UserDefaults::standard()->set(m_defaultsKey, m_values[size_t(path.row)]);
    if (auto now = indexPathOfCheckedCell())
        markCell(table, *now, true);
    table.deselectRow(path, true);
}
