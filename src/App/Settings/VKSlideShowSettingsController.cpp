#include "App/Settings/VKSlideShowSettingsController.h"

#include "App/Settings/VKSlideShowTimeoutSettingsController.h"
#include "App/Settings/VKSlideShowTransitionSettingsController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Shell/Settings/VKSwitchCell.h"
#include "Platform/Core/Device.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/Screen.h"
#include "Platform/UI/TableView.h"

#include <fmt/format.h>

#include <cstdlib>

namespace {

std::string localizedSlideShowSetting(const char* text)
{
    return core::localized(text, "Settings");
}

// The system's version as a number ("6.1.0" reads 6.1).
float systemVersionNumber()
{
    return std::strtof(core::Device::current()->systemVersion().c_str(), nullptr);
}

} // namespace

std::shared_ptr<VKSlideShowSettingsController> VKSlideShowSettingsController::slideShowSettingsController()
{
    return std::make_shared<VKSlideShowSettingsController>();
}

VKSlideShowSettingsController::VKSlideShowSettingsController()
    : VKTableSubviewController(ui::TableView::Style::Grouped)
    , m_transitionController(VKSlideShowTransitionSettingsController::slideShowTransitionSettingsController())
    , m_timeoutController(VKSlideShowTimeoutSettingsController::slideShowTimeoutSettingsController())
{
    setTitle(localizedSlideShowSetting("Slideshow"));
}

void VKSlideShowSettingsController::setDelegate(std::weak_ptr<VKSlideShowSettingsControllerDelegate> delegate)
{
    m_delegate = std::move(delegate);
    if (isViewLoaded())
        tableView().reloadData();
}

std::string VKSlideShowSettingsController::statusText()
{
    return fmt::format(fmt::runtime(localizedSlideShowSetting("{}, {}")), m_timeoutController->statusText(),
        m_transitionController->statusText());
}

void VKSlideShowSettingsController::loadTableGroups()
{
    Group rows {
        VKSubviewCell::initWithLabel(localizedSlideShowSetting("Play Each Slide For"), m_timeoutController),
        VKSubviewCell::initWithLabel(localizedSlideShowSetting("Slide Transition"), m_transitionController),
        VKSwitchCell::initWithLabel(localizedSlideShowSetting("Repeat"), "VKSlideShowRepeats"),
        VKSwitchCell::initWithLabel(localizedSlideShowSetting("Shuffle"), "VKSlideShowShuffle"),
    };
    if (systemVersionNumber() >= 3.2f && ui::Screen::screens().size() >= 2)
        rows.push_back(VKSwitchCell::initWithLabel(localizedSlideShowSetting("Display on TV"), "VKSlideShowUseTVOut"));
    setTableGroups({ std::move(rows) });
}

void VKSlideShowSettingsController::viewWillAppear(bool animated)
{
    VKTableSubviewController::viewWillAppear(animated);
    syncToDefaults(tableGroups());
    auto done = navigationItem().rightBarButtonItem();
    m_timeoutController->navigationItem().setRightBarButtonItem(done);
    m_transitionController->navigationItem().setRightBarButtonItem(done);
}

int VKSlideShowSettingsController::numberOfSections(ui::TableView& table)
{
    return VKTableSubviewController::numberOfSections(table) + (m_delegate.lock() ? 1 : 0);
}

int VKSlideShowSettingsController::numberOfRows(ui::TableView& table, int section)
{
    return section == 1 ? 1 : VKTableSubviewController::numberOfRows(table, section);
}

std::shared_ptr<ui::TableViewCell> VKSlideShowSettingsController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    if (path.section != 1)
        return VKTableSubviewController::cellForRow(table, path);
    auto cell = table.dequeueReusableCell(StartButtonIdentifier);
    if (!cell) {
        cell = std::make_shared<ui::TableViewCell>(ui::TableViewCell::Style::Default, StartButtonIdentifier);
        auto& label = cell->textLabel();
        label.setTextAlignment(gfx::TextAlignment::Center);
        label.setTextColor(gfx::Color::white(1));
        label.setFont(ui::Fonts::boldSystemFont(18));
    }
    cell->textLabel().setText(localizedSlideShowSetting("Start Slideshow"));
    return cell;
}

void VKSlideShowSettingsController::willDisplayCell(ui::TableView& table, ui::TableViewCell& cell, ui::IndexPath path)
{
    VKTableSubviewController::willDisplayCell(table, cell, path);
    if (path.section == 1)
        cell.setBackgroundColor(gfx::Color(0, 106 / 255.0f, 235 / 255.0f, 1));
}

void VKSlideShowSettingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (path.section != 1) {
        VKTableSubviewController::didSelectRow(table, path);
        return;
    }
    if (auto delegate = m_delegate.lock())
        delegate->slideShowSettingsControllerDidSelectStartSlideShowButton(*this);
    table.deselectRow(path, true);
}
