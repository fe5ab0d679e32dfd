#include "App/Settings/VKPDFSettingsController.h"

#include "Shell/Settings/VKSettingsListController.h"
#include "Shell/Settings/VKSubviewCell.h"
#include "Platform/Core/Localized.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

namespace {

std::string localizedPDFSetting(const char* text)
{
    return core::localized(text, "Settings");
}

} // namespace

std::shared_ptr<VKPDFSettingsController> VKPDFSettingsController::pdfSettingsController()
{
    return std::make_shared<VKPDFSettingsController>();
}

VKPDFSettingsController::VKPDFSettingsController() : VKTableSubviewController(ui::TableView::Style::Grouped)
{
    setTitle(localizedPDFSetting("PDF Settings"));
}

void VKPDFSettingsController::loadTableGroups()
{
    m_layoutController = VKSettingsListController::initWithDefaultsKey(DocumentViewLayoutKey,
        { core::Value(int64_t(1)), core::Value(int64_t(2)), core::Value(int64_t(3)) },
        std::vector<std::string> { localizedPDFSetting("Vertical"), localizedPDFSetting("Single Pages"),
            localizedPDFSetting("Double Pages") });
    m_layoutController->setTitle(localizedPDFSetting("Page Layout"));
    m_doublePageController = VKSettingsListController::initWithDefaultsKey(DoublePageSingleFirstKey,
        { core::Value(true), core::Value(false) },
        std::vector<std::string> { localizedPDFSetting("Single Page First"), localizedPDFSetting("Double Page First") });
    m_doublePageController->setTitle(localizedPDFSetting("Double Page Layout"));
    setTableGroups({ {
        VKSubviewCell::initWithLabel(m_layoutController->title(), m_layoutController),
        VKSubviewCell::initWithLabel(m_doublePageController->title(), m_doublePageController),
    } });
    setFooterText(localizedPDFSetting("These settings apply unless overridden by a document's own settings."));
}

void VKPDFSettingsController::viewWillDisappear(bool animated)
{
    VKTableSubviewController::viewWillDisappear(animated);
    auto* navigation = navigationController();
    if (!navigation)
        return;
    const auto& stack = navigation->viewControllers();
    if (stack.size() >= 2 && stack[stack.size() - 2].get() == this)
        stack.back()->navigationItem().setRightBarButtonItem(navigationItem().rightBarButtonItem());
}
