#include "Shell/Settings/VKTableSubviewController.h"

#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKTableFooterLabel.h"

VKTableSubviewController::VKTableSubviewController(ui::TableView::Style style) : VKSubviewController(style) { }

void VKTableSubviewController::setTableGroups(VKSettingsGroups groups, bool reload)
{
    m_tableGroups = std::move(groups);
    auto self = std::dynamic_pointer_cast<VKTextFieldCellDelegate>(shared_from_this());
    for (auto& group : m_tableGroups)
        for (auto& cell : group)
            if (auto* field = dynamic_cast<VKTextFieldCell*>(cell.get()); field && !field->delegate())
                field->setDelegate(self);
    if (reload && isViewLoaded())
        tableView().reloadData();
}

void VKTableSubviewController::setFooterText(std::string_view text)
{
    if (!m_footerLabel)
        m_footerLabel = VKTableFooterLabel::initWithFrame(gfx::Rect::zero());
    if (!text.empty())
        m_footerLabel->setGivenLines(VKTableFooterLabel::linesForText(text));
    m_footerLabel->setText(text);
    if (isViewLoaded())
        tableView().reloadData();
}

std::string VKTableSubviewController::footerText() const
{
    return m_footerLabel ? m_footerLabel->text() : std::string();
}

void VKTableSubviewController::textFieldCellWillBeginEditing(VKTextFieldCell& cell)
{
    m_activeTextField = cell.sharedAs<VKTextFieldCell>();
}

void VKTableSubviewController::textFieldCellDidEndEditing(VKTextFieldCell& cell)
{
    if (m_activeTextField.lock().get() == &cell)
        m_activeTextField.reset();
}

void VKTableSubviewController::viewDidLoad()
{
    VKSubviewController::viewDidLoad();
    loadTableGroups();
}

void VKTableSubviewController::viewDidUnload()
{
    VKSubviewController::viewDidUnload();
    setTableGroups({});
}

void VKTableSubviewController::viewWillAppear(bool animated)
{
    VKSubviewController::viewWillAppear(animated);
    tableView().reloadData();
}

void VKTableSubviewController::viewWillDisappear(bool animated)
{
    VKSubviewController::viewWillDisappear(animated);
    auto keep = shared_from_this();
    if (auto active = m_activeTextField.lock())
        active->resignFirstResponder();
    // A copy: a row's store may reach a page that rebuilds its groups.
    auto groups = m_tableGroups;
    commitToDefaults(groups);
}

int VKTableSubviewController::numberOfSections(ui::TableView&)
{
    return int(m_tableGroups.size());
}

int VKTableSubviewController::numberOfRows(ui::TableView&, int section)
{
    return section >= 0 && section < int(m_tableGroups.size()) ? int(m_tableGroups[size_t(section)].size()) : 0;
}

ui::TableViewCell* VKTableSubviewController::cellAt(ui::IndexPath path) const
{
    if (path.section < 0 || path.section >= int(m_tableGroups.size()))
        return nullptr;
    auto& group = m_tableGroups[size_t(path.section)];
    return path.row >= 0 && path.row < int(group.size()) ? group[size_t(path.row)].get() : nullptr;
}

std::shared_ptr<ui::TableViewCell> VKTableSubviewController::cellForRow(ui::TableView&, ui::IndexPath path)
{
    auto& cell = m_tableGroups.at(size_t(path.section)).at(size_t(path.row));
    if (auto* subview = dynamic_cast<VKSubviewCell*>(cell.get()))
        subview->syncToDefaults();
    return cell;
}

void VKTableSubviewController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    auto* subview = dynamic_cast<VKSubviewCell*>(cellAt(path));
    if (!subview || !subview->presentSubview(*this))
        table.deselectRow(path, true);
}

std::shared_ptr<ui::View> VKTableSubviewController::viewForFooter(ui::TableView&, int section)
{
    return section == int(m_tableGroups.size()) - 1 ? m_footerLabel : nullptr;
}

std::optional<float> VKTableSubviewController::heightForFooter(ui::TableView& table, int section)
{
    if (section != int(m_tableGroups.size()) - 1 || !m_footerLabel)
        return 0.0f;
    // As wide as the table shows section views.
    float width = table.bounds().width() - (table.style() == ui::TableView::Style::Grouped ? 2 * ui::TableView::GroupedMargin : 0);
    return m_footerLabel->fitToWidth(width);
}
