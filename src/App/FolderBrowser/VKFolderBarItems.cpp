#include "App/FolderBrowser/VKFolderBarItems.h"

#include "App/FolderBrowser/VKFolderBrowserServices.h"
#include "App/FolderBrowser/VKFolderInfoLabel.h"
#include "App/FolderBrowser/VKOperationProgressView.h"
#include "Shell/Interface/BarButtonItemAdditions.h"
#include "Shell/Interface/ButtonAdditions.h"
#include "Shell/Interface/InterfaceColors.h"
#include "FileModel/VKQuotaManager.h"
#include "Kit/NetReachability.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/Button.h"
#include "Platform/UI/Images.h"
#include "Platform/UI/Label.h"

#include <algorithm>
#include <cmath>

namespace {

using ServicesCell = std::weak_ptr<std::weak_ptr<VKFolderBrowserServices>>;

std::shared_ptr<VKFolderBrowserServices> servicesIn(const ServicesCell& cell)
{
    auto services = cell.lock();
    return services ? services->lock() : nullptr;
}

// A button that shows `image` and sends `action` to the application
// through the services when touched up inside.
std::shared_ptr<ui::BarButtonItem> servicesButtonItem(const std::shared_ptr<gfx::Image>& image, const std::string& name,
    const char* action, ServicesCell cell,
    std::function<void(VKFolderBrowserServices&, const std::shared_ptr<core::Object>&)> send)
{
    auto button = buttonWithImage(image);
    button->setToolTip(name);
    button->setShowsTouchWhenHighlighted(true);
    button->addTarget(nullptr, action, [cell = std::move(cell), send](ui::Control& control, const ui::Event*) {
        if (auto services = servicesIn(cell))
            send(*services, control.shared_from_this());
    }, ui::Control::TouchUpInside);
    return barButtonItemWithCustomView(button);
}

} // namespace

VKFolderBarItems::VKFolderBarItems(std::function<bool()> darkStyle)
    : m_darkStyle(std::move(darkStyle))
    , m_services(std::make_shared<std::weak_ptr<VKFolderBrowserServices>>())
{
}

void VKFolderBarItems::setServices(std::weak_ptr<VKFolderBrowserServices> services)
{
    *m_services = std::move(services);
    if (auto* label = folderInfoLabel())
        label->setServerState(*m_services);
}

std::shared_ptr<ui::BarButtonItem> VKFolderBarItems::settingsItem() const
{
    auto image = ui::Images::imageNamed(usesDarkStyle() ? "VKButtonBarSettingsDark.png" : "VKButtonBarSettings.png");
    return servicesButtonItem(image, core::localized("Settings"), ShowSettingsAction, m_services,
        [](VKFolderBrowserServices& services, const std::shared_ptr<core::Object>& sender) { services.browserShowSettings(sender); });
}

std::shared_ptr<ui::BarButtonItem> VKFolderBarItems::helpItem() const
{
    auto image = ui::Images::imageNamed(usesDarkStyle() ? "VKButtonBarHelpDark.png" : "VKButtonBarHelp.png");
    return servicesButtonItem(image, core::localized("Help"), ShowHelpAction, m_services,
        [](VKFolderBrowserServices& services, const std::shared_ptr<core::Object>& sender) { services.browserShowHelp(sender); });
}

std::shared_ptr<ui::BarButtonItem> VKFolderBarItems::serverStateItem()
{
    if (!m_serverStateItem) {
        auto button = ui::Button::create(ui::Button::Type::Custom, { 0, 0, ServerStateButtonSize, ServerStateButtonSize });
        button->addTarget(nullptr, ShowServerInfoAction, [cell = ServicesCell(m_services)](ui::Control& control, const ui::Event*) {
            if (auto services = servicesIn(cell))
                services->browserShowServerInfo(control.shared_from_this());
        }, ui::Control::TouchUpInside);
        button->setToolTip(core::localized("Remote Access"));
        m_serverStateItem = barButtonItemWithCustomView(button);
        updateServerStateImage();
    }
    return m_serverStateItem;
}

ui::Button* VKFolderBarItems::serverStateButton() const
{
    return m_serverStateItem ? dynamic_cast<ui::Button*>(m_serverStateItem->customView().get()) : nullptr;
}

void VKFolderBarItems::updateServerStateImage()
{
    auto* button = serverStateButton();
    if (!button)
        return;
    const char* name = "HTTPServerStopped.png";
    if (core::UserDefaults::standard()->boolForKey("VKServerEnabled")) {
        auto services = m_services->lock();
        auto reachability = services ? services->netReachability() : nullptr;
        auto quota = VKQuotaManager::defaultManager();
        bool active = reachability && reachability->isReachableUsingWifi() && NetReachability::getWifiIPAddress()
            && !(quota && quota->rebuildingIndex());
        name = active ? "HTTPServerActive.png" : "HTTPServerPaused.png";
    }
    button->setImage(ui::Images::imageNamed(name), ui::Control::Normal);
}

std::shared_ptr<ui::BarButtonItem> VKFolderBarItems::folderInfoItem()
{
    if (!m_folderInfoItem) {
        auto label = VKFolderInfoLabel::create({ 0, 0, 100, 20 });
        label->setServerState(*m_services);
        label->setBackgroundColor(gfx::Color());
        label->setShadowOffset({ 0, 1 });
        applyAppearance(*label);
        m_folderInfoItem = barButtonItemWithCustomView(label);
    }
    return m_folderInfoItem;
}

VKFolderInfoLabel* VKFolderBarItems::folderInfoLabel() const
{
    return m_folderInfoItem ? dynamic_cast<VKFolderInfoLabel*>(m_folderInfoItem->customView().get()) : nullptr;
}

std::shared_ptr<ui::BarButtonItem> VKFolderBarItems::progressItem()
{
    if (!m_progressItem) {
        int style = 1;
        if (VKBrowserOperation::isOperationIndeterminate())
            style = usesDarkStyle() ? 3 : 2;
        gfx::Size size = VKOperationProgressView::standardSizeForToolbarItem();
        auto view = VKOperationProgressView::create(style, { 0, 0, size.width, size.height });
        view->setText(VKBrowserOperation::operationLabel());
        // A label somewhat longer than the standard width ("Expanding
        // Archive.zip" beside the spinner) widens the item rather than
        // being cut; a longer one is cut at the widest.
        float width = std::max(size.width, view->sizeThatFits({ MaximumProgressItemWidth, size.height }).width);
        view->setFrame({ 0, 0, width, size.height });
        applyAppearance(view->label());
        m_progressItem = barButtonItemWithCustomView(view);
        m_progressItemRun = VKBrowserOperation::currentRun();
    }
    if (auto* view = progressView(); view && !view->isIndeterminate())
        view->setProgress(VKBrowserOperation::operationProgress());
    return m_progressItem;
}

VKOperationProgressView* VKFolderBarItems::progressView() const
{
    return m_progressItem ? dynamic_cast<VKOperationProgressView*>(m_progressItem->customView().get()) : nullptr;
}

bool VKFolderBarItems::showsCurrentRun() const
{
    return m_progressItem && m_progressItemRun == VKBrowserOperation::currentRun();
}

void VKFolderBarItems::forgetStaleProgress()
{
    if (!VKBrowserOperation::isOperationInProgress() || m_progressItemRun != VKBrowserOperation::currentRun()) {
        m_progressItem.reset();
        m_progressItemRun = VKBrowserOperation::NoRun;
    }
}

bool VKFolderBarItems::showProgress(float progress)
{
    auto* view = progressView();
    if (!view)
        return true;
    if (view->isIndeterminate() != VKBrowserOperation::isOperationIndeterminate()) {
        m_progressItem.reset();
        m_progressItemRun = VKBrowserOperation::NoRun;
        return false;
    }
    if (!view->isIndeterminate())
        view->setProgress(std::isnan(progress) ? 0.0f : std::clamp(progress, 0.0f, 1.0f));
    return true;
}

void VKFolderBarItems::reset()
{
    m_serverStateItem.reset();
    m_folderInfoItem.reset();
    m_progressItem.reset();
    m_progressItemRun = VKBrowserOperation::NoRun;
}

void VKFolderBarItems::applyAppearance(ui::Label& label) const
{
    if (usesDarkStyle()) {
        label.setTextColor(iPadBarButtonItemDarkTextColor());
        label.setShadowColor(iPadBarButtonItemDarkTextShadowColor());
    } else {
        label.setTextColor(gfx::Color::white(1));
        label.setShadowColor(whiteTextShadowColor());
    }
}

void VKFolderBarItems::updateAppearance()
{
    if (auto* label = folderInfoLabel())
        applyAppearance(*label);
    if (auto* view = progressView())
        applyAppearance(view->label());
}
