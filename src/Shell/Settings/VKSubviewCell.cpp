#include "Shell/Settings/VKSubviewCell.h"

#include "Shell/Interface/InterfaceColors.h"
#include "Shell/Interface/TableViewCellAdditions.h"
#include "Shell/Settings/VKSubviewController.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationController.h"
#include "Platform/UI/StandardColors.h"

#include <algorithm>

std::shared_ptr<VKSubviewCell> VKSubviewCell::initWithLabel(std::string_view label,
    std::shared_ptr<VKSubviewController> subviewController)
{
    auto cell = std::make_shared<VKSubviewCell>();
    cell->setUpLabel(label);
    cell->m_status = createLabelWithFont(*cell, valueFont(), tableViewCellTextValueColor(),
        ui::StandardColors::white(), gfx::LineBreakMode::TailTruncation, true);
    cell->m_status->setMinimumFontSize(12);
    cell->m_status->setTextAlignment(gfx::TextAlignment::Right);
    cell->addHighlightedLabel(cell->m_status);
    cell->setAccessoryType(Accessory::DisclosureIndicator);
    cell->setSubviewController(std::move(subviewController));
    return cell;
}

void VKSubviewCell::setSubviewController(std::shared_ptr<VKSubviewController> controller)
{
    m_subviewController = std::move(controller);
    m_status->setText(m_subviewController ? m_subviewController->statusText() : std::string());
}

bool VKSubviewCell::presentSubview(ui::ViewController& from) const
{
    auto* navigation = from.navigationController();
    if (!m_subviewController || !navigation)
        return false;
    m_subviewController->presentUsingNavigationController(*navigation, true);
    return true;
}

void VKSubviewCell::syncToDefaults()
{
    setSelected(false);
    m_status->setText(m_subviewController ? m_subviewController->statusText() : std::string());
}

void VKSubviewCell::layoutSubviews()
{
    VKSettingsRowCell::layoutSubviews();
    placeLabel(contentRect().width());
    m_status->setFrame(valueRect(contentRect().maxX()));
}
