#include "Shell/Settings/VKEditableListItemEditingController.h"

#include "Shell/Settings/VKEditableListItemEditingCell.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"
#include "Platform/UI/TextField.h"

#include <algorithm>
#include <fmt/format.h>

namespace {

// Room for three lines of the reason under the field.
constexpr float RefusalHeight = 60;

} // namespace

std::shared_ptr<VKEditableListItemEditingController> VKEditableListItemEditingController::create()
{
    return std::make_shared<VKEditableListItemEditingController>();
}

ui::TableView& VKEditableListItemEditingController::tableView()
{
    view();
    return *m_tableView;
}

void VKEditableListItemEditingController::loadView()
{
    gfx::Rect frame = ui::Application::shared() ? ui::Application::shared()->applicationFrame() : gfx::Rect { 0, 20, 320, 460 };
    auto root = ui::View::create({ 0, 0, frame.width(), frame.height() });
    root->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_tableView = ui::TableView::create(root->bounds(), ui::TableView::Style::Grouped);
    m_tableView->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
    m_tableView->setDataSource(std::dynamic_pointer_cast<ui::TableViewDataSource>(shared_from_this()));
    m_tableView->setAllowsSelection(false);
    m_refusalLabel = ui::Label::create({ 0, 0, root->bounds().width(), RefusalHeight });
    m_refusalLabel->setNumberOfLines(3);
    m_refusalLabel->setTextAlignment(gfx::TextAlignment::Center);
    m_refusalLabel->setFont(ui::Fonts::systemFont(14));
    m_refusalLabel->setTextColor(gfx::Color::rgb255(160, 30, 30));
    m_refusalLabel->setBackgroundColor(gfx::Color(0, 0, 0, 0));
    m_refusalLabel->setAutoresizingMask(ui::View::FlexibleWidth);
    m_tableView->setTableFooterView(m_refusalLabel);
    root->addSubview(m_tableView);
    setView(root);
}

void VKEditableListItemEditingController::viewDidLoad()
{
    VKNonRotatingViewController::viewDidLoad();
    auto cancelItem = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancelItem->addTarget(shared_from_this(), "cancel", [this](ui::BarButtonItem&) {
        cancel();
    });
    m_saveItem = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Save);
    m_saveItem->addTarget(shared_from_this(), "save", [this](ui::BarButtonItem&) {
        save();
    });
    navigationItem().setLeftBarButtonItem(cancelItem);
    navigationItem().setRightBarButtonItem(m_saveItem);
}

void VKEditableListItemEditingController::viewWillAppear(bool animated)
{
    VKNonRotatingViewController::viewWillAppear(animated);
    if (!m_editingCell) {
        m_editingCell = VKEditableListItemEditingCell::create();
        m_editingCell->textField().setAutocorrectionType(ui::TextInput::AutocorrectionType::No);
        m_editingCell->textField().addTarget(shared_from_this(), "textDidChange", [this](ui::Control&, const ui::Event*) {
            textDidChange();
        }, ui::Control::EditingChanged);
    }
    auto& field = m_editingCell->textField();
    field.setText(m_editingValue.value_or(""));
    textDidChange();
    field.setPlaceholder(core::localized("IANA character set name", "Settings"));
    setTitle(core::localized(m_editingValue ? "Edit encoding" : "Add encoding", "Settings"));
    tableView().reloadData();
    // In the table (and so in the window) before it can take the keyboard.
    tableView().layoutIfNeeded();
    field.becomeFirstResponder();
}

std::optional<std::string> VKEditableListItemEditingController::refusal() const
{
    std::string text = m_editingCell ? m_editingCell->textField().text() : std::string();
    if (m_validator)
        if (auto reason = m_validator(text))
            return reason;
    if (m_editingData && text != m_editingValue
        && std::find(m_editingData->begin(), m_editingData->end(), text) != m_editingData->end())
        return fmt::format(fmt::runtime(core::localized("\"{}\" is already in the list.", "Settings")), text);
    return std::nullopt;
}

std::string VKEditableListItemEditingController::shownRefusalForTesting() const
{
    return m_refusalLabel ? m_refusalLabel->text() : std::string();
}

void VKEditableListItemEditingController::textDidChange()
{
    auto reason = refusal();
    if (m_refusalLabel)
        m_refusalLabel->setText(reason.value_or(""));
    if (m_saveItem)
        m_saveItem->setEnabled(!reason);
}

void VKEditableListItemEditingController::save()
{
    if (refusal()) {
        textDidChange();
        return;
    }
    std::string text = m_editingCell ? m_editingCell->textField().text() : std::string();
    if (m_editingData) {
        auto& items = *m_editingData;
        auto found = m_editingValue ? std::find(items.begin(), items.end(), *m_editingValue) : items.end();
        if (found != items.end())
            *found = text;
        else
            items.insert(items.begin(), text);
    }
    if (auto* navigation = navigationController())
        navigation->popViewController(true);
}

void VKEditableListItemEditingController::cancel()
{
    if (auto* navigation = navigationController())
        navigation->popViewController(true);
}

int VKEditableListItemEditingController::numberOfRows(ui::TableView&, int)
{
    return m_editingCell ? 1 : 0;
}

std::shared_ptr<ui::TableViewCell> VKEditableListItemEditingController::cellForRow(ui::TableView& table, ui::IndexPath)
{
    // The one cell goes to the reuse queue on every reload: take it back
    // out, so the queue never holds it twice.
    table.dequeueReusableCell(VKEditableListItemEditingCell::CellIdentifier);
    return m_editingCell;
}
