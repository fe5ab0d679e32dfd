#include "Shell/Settings/VKEditableListController.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Settings/VKEditableListItemEditingController.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/StandardColors.h"
#include "Platform/UI/ViewAnimation.h"

using Accessory = ui::TableViewCell::Accessory;
using EditingStyle = ui::TableViewCell::EditingStyle;

VKEditableListController::VKEditableListController() : VKSubviewController(ui::TableView::Style::Grouped) { }

void VKEditableListController::setData(std::shared_ptr<Data> data)
{
    m_data = data ? std::move(data) : std::make_shared<Data>();
    if (isViewLoaded())
        tableView().reloadData();
}

std::shared_ptr<VKEditableListItemEditingController> VKEditableListController::itemEditingController()
{
    if (!m_itemEditingController)
        m_itemEditingController = VKEditableListItemEditingController::create();
    return m_itemEditingController;
}

bool VKEditableListController::isPromptActive() const
{
    return isEditing() && !m_prompt.empty();
}

bool VKEditableListController::isCellCheckedAtIndexPath(ui::IndexPath) const
{
    return false;
}

std::optional<ui::IndexPath> VKEditableListController::indexPathOfCheckedCell() const
{
    return std::nullopt;
}

std::string VKEditableListController::statusText()
{
    auto checked = indexPathOfCheckedCell();
    if (!checked || checked->row < 0 || checked->row >= int(m_data->size()))
        return {};
    return (*m_data)[size_t(checked->row)];
}

std::optional<ui::IndexPath> VKEditableListController::checkedRow() const
{
    auto checked = indexPathOfCheckedCell();
    if (!checked)
        return std::nullopt;
    return ui::IndexPath { 0, checked->row + promptRows() };
}

void VKEditableListController::viewDidLoad()
{
    VKSubviewController::viewDidLoad();
    navigationItem().setRightBarButtonItem(editButtonItem());
    tableView().setAllowsSelectionDuringEditing(true);
}

void VKEditableListController::viewWillAppear(bool animated)
{
    VKSubviewController::viewWillAppear(animated);
    auto& table = tableView();
    table.reloadData();
    if (isEditing())
        return;
    if (auto checked = indexPathOfCheckedCell(); checked && checked->row < table.numberOfRows(0))
        table.scrollToRow(*checked, ui::TableView::ScrollPosition::Middle, false);
}

void VKEditableListController::markChecked(bool checked)
{
    auto row = checkedRow();
    auto* cell = row && isViewLoaded() ? tableView().cellForRow(*row) : nullptr;
    if (!cell)
        return;
    cell->setAccessoryType(checked ? Accessory::Checkmark : Accessory::None);
    cell->textLabel().setTextColor(checked ? tableViewCellTextValueColor() : ui::StandardColors::black());
}

void VKEditableListController::setEditing(bool editing, bool animated)
{
    if (editing == isEditing()) {
        VKSubviewController::setEditing(editing, animated);
        return;
    }
    VKSubviewController::setEditing(editing, animated);
    if (!isViewLoaded())
        return;
    auto& table = tableView();
    if (editing) {
        if (isPromptActive()) {
            table.beginUpdates();
            table.insertRows({ { 0, 0 } }, ui::TableView::RowAnimation::Top);
            table.endUpdates();
            navigationItem().setHidesBackButton(true, animated);
        }
        markChecked(false);
        core::RunLoop::main().performAfter(sharedAs<VKEditableListController>(), ReloadRowDelay, [](VKEditableListController& self) {
            if (self.isEditing())
                self.reloadRow1ForEditing();
        });
        return;
    }
    if (!m_prompt.empty()) {
        table.beginUpdates();
        table.deleteRows({ { 0, 0 } }, ui::TableView::RowAnimation::Top);
        table.endUpdates();
        navigationItem().setHidesBackButton(false, animated);
    }
    markChecked(true);
}

void VKEditableListController::reloadRow1ForEditing()
{
    if (m_data->empty() || !isViewLoaded())
        return;
    int row = promptRows();
    if (row >= tableView().numberOfRows(0))
        return;
    ui::ViewAnimation::performWithoutAnimation(
        [&] { tableView().reloadRows({ { 0, row } }, ui::TableView::RowAnimation::None); });
}

int VKEditableListController::numberOfRows(ui::TableView&, int)
{
    return int(m_data->size()) + promptRows();
}

std::shared_ptr<ui::TableViewCell> VKEditableListController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell(CellIdentifier);
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, CellIdentifier);
        if (isPromptActive() && path.row == 0)
            cell->setEditingAccessoryType(Accessory::DisclosureIndicator);
    }
    return cell;
}

void VKEditableListController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path)
{
    auto& label = cell.textLabel();
    if (isPromptActive() && path.row == 0) {
        label.setText(m_prompt);
        label.setTextColor(ui::StandardColors::gray());
        cell.setAccessoryType(Accessory::None);
        cell.setEditingAccessoryType(Accessory::DisclosureIndicator);
        return;
    }
    int item = path.row - promptRows();
    label.setText(item >= 0 && item < int(m_data->size()) ? (*m_data)[size_t(item)] : std::string());
    cell.setEditingAccessoryType(Accessory::None);
    bool checked = !isEditing() && isCellCheckedAtIndexPath(path);
    cell.setAccessoryType(checked ? Accessory::Checkmark : Accessory::None);
    label.setTextColor(checked ? tableViewCellTextValueColor() : ui::StandardColors::black());
}

std::optional<EditingStyle> VKEditableListController::editingStyleForRow(ui::TableView& table, ui::IndexPath path)
{
    if (!isEditing())
        return allowsSwipeToDelete() ? EditingStyle::Delete : EditingStyle::None;
    if (path.row != 0 || m_prompt.empty())
        return EditingStyle::Delete;
    return table.numberOfRows(0) > int(m_data->size()) ? EditingStyle::Insert : EditingStyle::Delete;
}

void VKEditableListController::commitEditing(ui::TableView& table, EditingStyle style, ui::IndexPath path)
{
    if (style == EditingStyle::Insert) {
        editRow(0);
        return;
    }
    if (style != EditingStyle::Delete)
        return;
    int item = path.row - promptRows();
    if (item < 0 || item >= int(m_data->size()))
        return;
    m_data->erase(m_data->begin() + item);
    table.deleteRows({ path }, ui::TableView::RowAnimation::Fade);
}

bool VKEditableListController::canMoveRow(ui::TableView&, ui::IndexPath path)
{
    return isPromptActive() && path.row != 0;
}

std::optional<ui::IndexPath> VKEditableListController::targetIndexPathForMove(ui::TableView&, ui::IndexPath,
    ui::IndexPath proposed)
{
    if (isPromptActive() && proposed.row == 0)
        return ui::IndexPath { 0, 1 };
    return proposed;
}

void VKEditableListController::moveRow(ui::TableView&, ui::IndexPath from, ui::IndexPath to)
{
    int offset = promptRows();
    int source = from.row - offset, target = to.row - offset;
    auto& items = *m_data;
    if (source < 0 || source >= int(items.size()) || target < 0 || target >= int(items.size()))
        return;
    std::string item = std::move(items[size_t(source)]);
    items.erase(items.begin() + source);
    items.insert(items.begin() + target, std::move(item));
}

void VKEditableListController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    table.deselectRow(path, true);
    if (isEditing())
        editRow(path.row);
}

void VKEditableListController::editRow(int row)
{
    auto editor = itemEditingController();
    editor->setEditingData(m_data);
    int item = row - promptRows();
    if (isPromptActive() && row == 0)
        editor->setEditingValue(std::nullopt);
    else if (item >= 0 && item < int(m_data->size()))
        editor->setEditingValue((*m_data)[size_t(item)]);
    else
        return;
    if (auto* navigation = navigationController())
        navigation->pushViewController(editor, true);
}
