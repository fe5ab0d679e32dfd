#include "App/Settings/VKCloudAccountSettingsController.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Cloud/VKCloudService.h"
#include "Cloud/VKCloudServiceAccount.h"
#include "Cloud/VKCloudServicesManager.h"
#include "Kit/VKBytesFormatter.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/NotificationCenter.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Thread.h"
#include "Platform/UI/ActivityIndicator.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/TableView.h"

#include <fmt/format.h>

#include <cmath>

namespace {

std::string localizedCloudSetting(const char* text)
{
    return core::localized(text, "Settings");
}

std::shared_ptr<ui::TableViewCell> valueCell(const std::string& label)
{
    auto cell = ui::TableViewCell::create(ui::TableViewCell::Style::Value1, {});
    cell->textLabel().setText(label);
    cell->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
    return cell;
}

// Places a value row's spinner 10 points from the right edge of its
// content, vertically centred.
void placeSpinner(ui::TableViewCell& cell)
{
    auto* spinner = cell.contentView().viewWithTag(VKCloudAccountSettingsController::SpinnerTag);
    if (!spinner)
        return;
    auto content = cell.contentView().bounds();
    auto frame = spinner->frame();
    spinner->setFrame({ content.size.width - frame.size.width - 10, std::floor((content.size.height - frame.size.height) / 2),
        frame.size.width, frame.size.height });
}

// A value row whose value is still coming: a small grey spinner turns in
// it until the value arrives and takes it out. The row places it again
// whenever it is laid out, so a turn of the device keeps it at the edge.
class SpinnerCell : public ui::TableViewCell {
public:
    explicit SpinnerCell(const std::string& label) : ui::TableViewCell(Style::Value1, {})
    {
        textLabel().setText(label);
        setSelectionStyle(SelectionStyle::None);
        auto spinner = ui::ActivityIndicator::create(ui::ActivityIndicator::Style::Gray);
        float side = ui::ActivityIndicator::sideForStyle(ui::ActivityIndicator::Style::Gray);
        spinner->setFrame({ 0, 0, side, side });
        spinner->setTag(VKCloudAccountSettingsController::SpinnerTag);
        spinner->setHidesWhenStopped(true);
        spinner->startAnimating();
        contentView().addSubview(spinner);
    }
    void layoutSubviews() override
    {
        ui::TableViewCell::layoutSubviews();
        placeSpinner(*this);
    }
};

std::shared_ptr<ui::TableViewCell> spinnerCell(const std::string& label)
{
    return std::make_shared<SpinnerCell>(label);
}

void showValue(ui::TableViewCell* cell, const std::string& value)
{
    if (!cell)
        return;
    if (auto* spinner = cell->contentView().viewWithTag(VKCloudAccountSettingsController::SpinnerTag))
        spinner->removeFromSuperview();
    if (auto* label = cell->detailTextLabel())
        label->setText(value);
    cell->setNeedsLayout();
}

// The red button of the last section: the artwork stretched over the whole
// row, pressed while the row is highlighted. The row takes the taps.
class DeleteButtonCell : public ui::TableViewCell {
public:
    explicit DeleteButtonCell(const std::string& title) : ui::TableViewCell(Style::Default, {})
    {
        m_button = ui::Button::create(ui::Button::Type::Custom);
        m_button->setUserInteractionEnabled(false);
        m_button->setBackgroundImage(ui::StretchableImage(ui::Images::imageNamed("VKSettingsDeleteButton.png"), 5, 0),
            ui::Control::Normal);
        m_button->setBackgroundImage(ui::StretchableImage(ui::Images::imageNamed("VKSettingsDeleteButtonPressed.png"), 5, 0),
            ui::Control::Highlighted);
        m_button->setTitle(title, ui::Control::Normal);
        m_button->setTitleColor(gfx::Color::white(1), ui::Control::Normal);
        m_button->setTitleShadowColor(gfx::Color::white(0), ui::Control::Normal);
        m_button->titleLabel().setFont(ui::Fonts::boldSystemFont(ui::Fonts::ButtonFontSize));
        m_button->titleLabel().setShadowOffset({ 0, 1 });
        m_button->titleLabel().setBackgroundColor(gfx::Color());
        m_button->setAutoresizingMask(ui::View::FlexibleWidth | ui::View::FlexibleHeight);
        addSubview(m_button);
    }
    ui::Button& button() const { return *m_button; }
    void setHighlighted(bool highlighted, bool animated) override
    {
        ui::TableViewCell::setHighlighted(highlighted, animated);
        m_button->setHighlighted(highlighted);
    }
    void setSelected(bool selected, bool animated) override
    {
        ui::TableViewCell::setSelected(selected, animated);
        m_button->setHighlighted(selected);
    }
    void layoutSubviews() override
    {
        ui::TableViewCell::layoutSubviews();
        m_button->setFrame(bounds());
    }
    std::string debugText() const override { return m_button->currentTitle(); }

private:
    std::shared_ptr<ui::Button> m_button;
};

} // namespace

std::shared_ptr<VKCloudAccountSettingsController> VKCloudAccountSettingsController::initWithServiceKey(std::string serviceKey)
{
    auto page = std::make_shared<VKCloudAccountSettingsController>(std::move(serviceKey));
    page->observe();
    return page;
}

VKCloudAccountSettingsController::VKCloudAccountSettingsController(std::string serviceKey)
    : m_serviceKey(std::move(serviceKey))
{
    setTitle(m_serviceKey);
}

std::shared_ptr<VKCloudService> VKCloudAccountSettingsController::cloudService() const
{
    return VKCloudServicesManager::sharedManager()->cloudServiceForRegisteredKey(m_serviceKey);
}

std::shared_ptr<VKCloudServiceAccount> VKCloudAccountSettingsController::account() const
{
    auto service = cloudService();
    return service ? service->account() : nullptr;
}

void VKCloudAccountSettingsController::observe()
{
    auto account = this->account();
    if (!account)
        return;
    std::weak_ptr<VKCloudAccountSettingsController> weak = std::static_pointer_cast<VKCloudAccountSettingsController>(shared_from_this());
    m_observations.push_back(core::NotificationCenter::defaultCenter().observe(VKCloudServiceAccountDidLoadInfoNotification,
        account, [weak](const VKCloudAccountInfo& info) {
            if (auto page = weak.lock())
                page->accountDidLoadInfo(info);
        }));
}

std::string VKCloudAccountSettingsController::statusText()
{
    auto service = cloudService();
    return localizedCloudSetting(service && service->isLinked() ? "Linked" : "Not Linked");
}

void VKCloudAccountSettingsController::loadTableGroups()
{
    m_userCell = valueCell(localizedCloudSetting("User"));
    m_quotaInfoCell = spinnerCell(localizedCloudSetting("Space Used"));
    m_localStorageCell = m_localStorageSize < 0 ? spinnerCell(localizedCloudSetting("Local Storage")) : valueCell(localizedCloudSetting("Local Storage"));
    if (m_localStorageSize >= 0)
        showValue(m_localStorageCell.get(), VKBytesFormatter::sharedFormatter().formatBytesAsString(uint64_t(m_localStorageSize)));

    m_resetCell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, {});
    auto& reset = m_resetCell->textLabel();
    reset.setText(localizedCloudSetting("Reset Local Storage"));
    reset.setTextAlignment(gfx::TextAlignment::Center);
    reset.setTextColor(tableViewCellTextValueColor());
    reset.setFont(ui::Fonts::systemFont(ui::Fonts::ButtonFontSize));

    m_unlinkCell = std::make_shared<DeleteButtonCell>(localizedCloudSetting("Unlink Account"));
    setTableGroups({ { m_userCell, m_quotaInfoCell }, { m_localStorageCell, m_resetCell }, { m_unlinkCell } });
}

void VKCloudAccountSettingsController::viewWillAppear(bool animated)
{
    VKTableSubviewController::viewWillAppear(animated);
    if (auto* label = m_userCell ? m_userCell->detailTextLabel() : nullptr) {
        auto account = this->account();
        label->setText(account ? account->userName().value_or("") : "");
        m_userCell->setNeedsLayout();
    }
    if (auto account = this->account())
        account->loadQuotaInfo();
    if (m_localStorageSize < 0)
        countLocalStorage();
}

void VKCloudAccountSettingsController::countLocalStorage()
{
    auto service = cloudService();
    if (!service || m_counting)
        return;
    m_counting = true;
    std::weak_ptr<VKCloudAccountSettingsController> weak = std::static_pointer_cast<VKCloudAccountSettingsController>(shared_from_this());
    uint64_t generation = m_countGeneration;
    core::Thread::detach("Local storage size", [service, weak, generation] {
        int64_t size = service->localUsedBytes();
        // Handed over without waiting; a page gone meanwhile drops it.
        core::RunLoop::main().post(weak, [generation, size](VKCloudAccountSettingsController& page) {
            page.m_counting = false;
            if (generation == page.m_countGeneration)
                page.setLocalStorageSize(size);
            else if (page.m_localStorageSize < 0)
                page.countLocalStorage();
        });
    });
}

void VKCloudAccountSettingsController::setLocalStorageSize(int64_t size)
{
    m_localStorageSize = std::max<int64_t>(size, 0);
    showValue(m_localStorageCell.get(), VKBytesFormatter::sharedFormatter().formatBytesAsString(uint64_t(m_localStorageSize)));
}

std::string VKCloudAccountSettingsController::quotaText(int64_t used, int64_t total)
{
    auto& formatter = VKBytesFormatter::sharedFormatter();
    if (total <= 0)
        return formatter.formatBytesAsString(uint64_t(std::max<int64_t>(used, 0)));
    // The counts as 32-bit floats, their quotient in double precision.
    double percent = double(float(used)) * 100 / double(float(total));
    return fmt::format(fmt::runtime(localizedCloudSetting("{:.1f}% of {}")), percent, formatter.formatBytesAsString(uint64_t(total)));
}

void VKCloudAccountSettingsController::accountDidLoadInfo(const VKCloudAccountInfo& info)
{
    showValue(m_quotaInfoCell.get(), quotaText(info.usedBytes, info.totalBytes));
}

std::optional<std::string> VKCloudAccountSettingsController::titleForHeader(ui::TableView&, int section)
{
    if (section == 0)
        return localizedCloudSetting("Account");
    if (section == 1)
        return localizedCloudSetting("Local Storage");
    return std::nullopt;
}

void VKCloudAccountSettingsController::willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath)
{
    placeSpinner(cell);
}

void VKCloudAccountSettingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    table.deselectRow(path, true);
    auto* cell = cellAt(path);
    if (cell && cell == m_resetCell.get()) {
        if (m_localStorageSize == 0)
            return;
        showQuestion(fmt::format(fmt::runtime(localizedCloudSetting(
                                     "Reset local storage for {}?\nThis will cancel any existing uploads and downloads.")),
                         m_serviceKey),
            localizedCloudSetting("Reset Local Storage?"), ResetSheetTag, *cell);
    } else if (cell && cell == m_unlinkCell.get()) {
        showQuestion(fmt::format(fmt::runtime(localizedCloudSetting(
                                     "Unlink {}?\nThis will remove the local storage and cancel all cloud operations.")),
                         m_serviceKey),
            localizedCloudSetting("Unlink?"), UnlinkSheetTag, *cell);
    }
}

void VKCloudAccountSettingsController::showQuestion(const std::string& title, const std::string& destructive, int tag,
    ui::View& row)
{
    auto sheet = ui::ActionSheet::create(title, std::dynamic_pointer_cast<ui::ActionSheetDelegate>(shared_from_this()),
        core::localized("Cancel"), destructive);
    sheet->setTag(tag);
    if (row.window())
        sheet->showFromRect(row.bounds(), row, true);
    else
        sheet->showInView(*view());
}

void VKCloudAccountSettingsController::clickedButton(ui::ActionSheet& sheet, int index)
{
    if (index == sheet.cancelButtonIndex())
        return;
    auto service = cloudService();
    if (!service)
        return;
    if (sheet.tag() == ResetSheetTag) {
        service->removeLocalStorage();
        ++m_countGeneration;
        setLocalStorageSize(0);
    } else if (sheet.tag() == UnlinkSheetTag) {
        service->unlink();
        // The mirror is gone with the account: a later visit counts and
        // asks afresh, and shows its spinners meanwhile.
        ++m_countGeneration;
        m_localStorageSize = -1;
        if (isViewLoaded()) {
            loadTableGroups();
            tableView().reloadData();
        }
        if (auto* navigation = navigationController())
            navigation->popViewController(true);
    }
}
